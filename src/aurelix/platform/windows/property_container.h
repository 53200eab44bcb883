#pragma once

#include <string>
#include <vector>

// What a control needs from the container that holds it, apart from the property bag.
namespace aurelix::platform {

class PropertyContainer {
  public:
    virtual ~PropertyContainer() = default;
    // The ambient user-mode flag: true when the host runs, false while it is designed.
    virtual bool UserMode() const = 0;
    // A property was set; the container marks its saved state out of date.
    virtual void PropertyChanged(const std::string& name) = 0;
};

// A container for hosts without a designer, and for tests: a settable user mode, and a
// record of the changed names in order.
class SimpleContainer : public PropertyContainer {
  public:
    explicit SimpleContainer(bool userMode = true) : userMode_(userMode) {}

    bool UserMode() const override { return userMode_; }
    void SetUserMode(bool userMode) { userMode_ = userMode; }

    void PropertyChanged(const std::string& name) override { changedNames_.push_back(name); }
    const std::vector<std::string>& ChangedNames() const { return changedNames_; }
    void ClearChangedNames() { changedNames_.clear(); }

  private:
    bool userMode_;
    std::vector<std::string> changedNames_;
};

}  // namespace aurelix::platform
