#include "cli/script_host.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "aurelix/control/aurel.h"
#include "aurelix/control/aurel_dispatch.h"
#include "aurelix/platform/runtime/runtime_error.h"
#include "aurelix/platform/storage/property_bag.h"
#include "aurelix/platform/windows/property_container.h"
#include "aurelix/platform/windows/window.h"
#include "cli/json_lines.h"
#include "cli/script_line.h"
#include "cli/script_signal.h"

namespace aurelix::cli {

namespace {

using control::MemberKind;
using nlohmann::json;
using Line = nlohmann::ordered_json;  // keys in the order written: "type" first
using platform::BoundedArray;
using platform::Variant;

constexpr const char* kSource = "aurelix script";

// The element types of the by-reference arrays, as the members declare them: the
// late-bound table gives names and counts, not argument types.
enum class Element { Integer, Long, Single };
struct ByReferenceArray {
    std::string_view member;
    size_t position;
    Element element;
};
constexpr ByReferenceArray kByReferenceArrays[] = {
    {"DoFFT", 0, Element::Integer},    {"DoFFT", 1, Element::Single},
    {"WaveData", 0, Element::Integer}, {"Spectrum", 0, Element::Single},
    {"RawData", 0, Element::Integer},  {"Peaks", 0, Element::Single},
};

// Errors of the host itself, not of the control.
platform::RuntimeError HostError(int32_t number, const std::string& detail) {
    return platform::RuntimeError(
        number, kSource, std::string(platform::StandardDescription(number)) + ": " + detail);
}

std::optional<Element> ByReferenceElement(std::string_view member, size_t position) {
    for (const auto& array : kByReferenceArrays) {
        if (array.member == member && array.position == position) {
            return array.element;
        }
    }
    return std::nullopt;
}

Variant ScalarVariant(const json& value) {
    switch (value.type()) {
        case json::value_t::boolean:
            return Variant(value.get<bool>());
        case json::value_t::number_integer:
        case json::value_t::number_unsigned:
            if (value >= std::numeric_limits<int32_t>::min() &&
                value <= std::numeric_limits<int32_t>::max()) {
                return Variant(value.get<int32_t>());
            }
            return Variant(value.get<double>());
        case json::value_t::number_float:
            return Variant(value.get<double>());
        case json::value_t::string:
            return Variant(value.get<std::string>());
        case json::value_t::null:
            return Variant();
        default:
            throw HostError(platform::err::kTypeMismatch, "array elements must be numbers");
    }
}

template <class Target, class Convert>
Variant ArrayVariant(const json& items, Convert convert) {
    BoundedArray<Target> array;  // [] stays unallocated: "no array yet"
    if (!items.empty()) {
        array.ReDim(0, static_cast<int32_t>(items.size()) - 1);
    }
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].is_number() && !items[i].is_boolean()) {
            throw HostError(platform::err::kTypeMismatch, "array elements must be numbers");
        }
        array(static_cast<int32_t>(i)) = convert(ScalarVariant(items[i]));
    }
    return Variant(std::move(array));
}

// An array argument: typed as the member declares it, or else Long when every element is
// a whole number in range and Single otherwise (for a variant property such as Sequence).
Variant ArrayArgument(const json& items, std::optional<Element> declared) {
    const bool whole = std::all_of(items.begin(), items.end(), [](const json& item) {
        return item.is_number_integer() && item >= std::numeric_limits<int32_t>::min() &&
               item <= std::numeric_limits<int32_t>::max();
    });
    switch (declared.value_or(whole ? Element::Long : Element::Single)) {
        case Element::Integer:
            return ArrayVariant<int16_t>(items, [](const Variant& v) { return v.ToInteger(); });
        case Element::Long:
            return ArrayVariant<int32_t>(items, [](const Variant& v) { return v.ToLong(); });
        case Element::Single:
            break;
    }
    return ArrayVariant<float>(items, [](const Variant& v) { return v.ToSingle(); });
}

// The member's name as the control spells it, for the table lookups and the output;
// Object doesn't support this property or method (438) for an unknown name.
std::string_view CanonicalName(std::string_view written) {
    const int32_t id = control::GetIDOfName(written);
    const auto members = control::AurelMembers();
    return std::find_if(members.begin(), members.end(),
                        [id](const control::MemberInfo& member) { return member.dispatchId == id; })
        ->name;
}

bool IsName(const std::string& text) {
    return !text.empty() && std::isalpha(static_cast<unsigned char>(text[0])) &&
           std::all_of(text.begin(), text.end(), [](char c) {
               return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
           });
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

class ScriptHost {
  public:
    explicit ScriptHost(std::ostream& out)
        : out_(out), events_([this](const control::EventInfo& event, std::span<Variant> arguments) {
              WriteJsonLine(out_, EventToJson(event, arguments));
          }) {
        PlaceControl();
    }

    // False when reading the script failed before its end.
    bool Run(std::istream& in) {
        std::string text;
        while (std::getline(in, text)) {
            ++line_;
            member_.reset();
            RunLine(text);
            container_.ClearChangedNames();
        }
        return !in.bad();
    }

  private:
    void PlaceControl() {
        control_.reset();  // the old control's engine closes its device first
        control_ = std::make_unique<control::Aurel>(container_, &events_);
        control_->InitProperties();
    }

    void RunLine(const std::string& text) {
        try {
            const auto tokens = SplitScriptLine(text);
            if (!tokens.empty()) {
                RunCommand(tokens);
            }
        } catch (const ScriptSyntaxError& error) {
            WriteError(HostError(platform::err::kInvalidCall, error.what()));
        } catch (const platform::RuntimeError& error) {
            WriteError(error);
        } catch (const std::bad_alloc&) {
            WriteError(platform::RuntimeError(platform::err::kOutOfMemory));
        }
    }

    void RunCommand(const std::vector<ScriptToken>& tokens) {
        if (!tokens[0].isWord) {
            throw ScriptSyntaxError("a line starts with a command, not " + tokens[0].text);
        }
        const std::string command = Lower(tokens[0].text);
        const std::span<const ScriptToken> arguments(tokens.begin() + 1, tokens.end());
        if (command == "set" || command == "get" || command == "call") {
            const MemberKind kind = command == "set"   ? MemberKind::PropertyLet
                                    : command == "get" ? MemberKind::PropertyGet
                                                       : MemberKind::Method;
            RunMember(kind, arguments);
            return;
        }
        member_ = command;
        if (command == "pump") {
            Pump(WholeNumber(OnlyArgument(arguments, "MS"), "MS"));
        } else if (command == "usermode") {
            const int32_t mode = WholeNumber(OnlyArgument(arguments, "0 or 1"), "0 or 1");
            if (mode != 0 && mode != 1) {
                throw ScriptSyntaxError("usermode takes 0 or 1");
            }
            container_.SetUserMode(mode == 1);
        } else if (command == "save" || command == "load") {
            const std::string path = FileName(OnlyArgument(arguments, "FILE"));
            platform::PropertyBag bag;
            if (command == "save") {
                control_->WriteProperties(bag);
                bag.SaveToFile(path);
            } else {
                bag.LoadFromFile(path);
                control_->ReadProperties(bag);
            }
        } else if (command == "new") {
            if (!arguments.empty()) {
                throw ScriptSyntaxError("new takes no arguments");
            }
            PlaceControl();
        } else if (command == "signal") {
            if (!platform::SetTestSignal(ParseTestSignal(arguments))) {
                throw HostError(platform::err::kInvalidCall,
                                "frequencies go from 0 to 1000000 Hz, amplitudes from 0 to 32767 "
                                "(both tones together)");
            }
        } else {
            member_.reset();
            throw ScriptSyntaxError("unknown command " + tokens[0].text);
        }
    }

    void RunMember(MemberKind kind, std::span<const ScriptToken> tokens) {
        if (tokens.empty() || !tokens[0].isWord || !IsName(tokens[0].text)) {
            throw ScriptSyntaxError("a member name must follow the command");
        }
        member_ = tokens[0].text;  // as written, should the name be unknown
        const std::string_view name = CanonicalName(tokens[0].text);
        member_ = std::string(name);
        if (kind == MemberKind::PropertyLet && tokens.size() < 2) {
            throw ScriptSyntaxError("set needs a value");
        }
        std::vector<Variant> arguments;
        for (size_t i = 1; i < tokens.size(); ++i) {
            const ScriptToken& token = tokens[i];
            if (token.isWord) {
                throw ScriptSyntaxError("not a value: " + token.text +
                                        " (strings are written in double quotes)");
            }
            arguments.push_back(token.value.is_array()
                                    ? ArrayArgument(token.value, ByReferenceElement(name, i - 1))
                                    : ScalarVariant(token.value));
        }
        const Variant result = control::Invoke(*control_, name, kind, arguments);
        if (kind == MemberKind::PropertyLet) {
            return;
        }
        Line line = {{"type", "result"}, {"member", name}, {"value", VariantToJson(result)}};
        Line byReference = Line::array();
        for (size_t i = 0; i < arguments.size(); ++i) {
            if (ByReferenceElement(name, i)) {
                byReference.push_back(Line(VariantToJson(arguments[i])));
            }
        }
        if (!byReference.empty()) {
            line["byref"] = std::move(byReference);
        }
        WriteJsonLine(out_, line);
    }

    // 0 dispatches only what is pending; otherwise the loop runs for MS milliseconds.
    static void Pump(int32_t milliseconds) {
        if (milliseconds < 0) {
            throw ScriptSyntaxError("pump takes a number of milliseconds, 0 or more");
        }
        if (milliseconds == 0) {
            platform::DoEvents();
            return;
        }
        platform::RunMessageLoop([] { return false; }, std::chrono::milliseconds(milliseconds));
    }

    static const ScriptToken& OnlyArgument(std::span<const ScriptToken> arguments,
                                           const char* what) {
        if (arguments.size() != 1) {
            throw ScriptSyntaxError(std::string("expected one argument: ") + what);
        }
        return arguments[0];
    }

    static int32_t WholeNumber(const ScriptToken& token, const char* what) {
        if (token.isWord || !token.value.is_number_integer() ||
            token.value < std::numeric_limits<int32_t>::min() ||
            token.value > std::numeric_limits<int32_t>::max()) {
            throw ScriptSyntaxError(std::string("expected a whole number (") + what + "), not " +
                                    token.text);
        }
        return token.value.get<int32_t>();
    }

    static std::string FileName(const ScriptToken& token) {
        if (token.isWord) {
            return token.text;
        }
        if (!token.value.is_string()) {
            throw ScriptSyntaxError("expected a file name, not " + token.text);
        }
        return token.value.get<std::string>();
    }

    void WriteError(const platform::RuntimeError& error) {
        WriteJsonLine(out_, Line{{"type", "error"},
                                 {"line", line_},
                                 {"member", member_ ? Line(*member_) : Line(nullptr)},
                                 {"number", error.Number()},
                                 {"source", error.Source()},
                                 {"description", error.Description()}});
    }

    std::ostream& out_;
    platform::SimpleContainer container_{true};
    control::DispatchEventSink events_;
    std::unique_ptr<control::Aurel> control_;
    int line_ = 0;
    std::optional<std::string> member_;  // what the current line names, for its errors
};

}  // namespace

int RunScript(std::istream& in, std::ostream& out) {
    ScriptHost host(out);
    return host.Run(in) ? 0 : 1;
}

}  // namespace aurelix::cli
