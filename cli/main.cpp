// aurelix: capture, record, play and analyse sound from the terminal and from scripts.
// This file only parses the arguments and calls the subcommand (cli/commands.h).
#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/errors.h"

namespace {

using namespace aurelix::cli;

// An option that analyze refuses with a reason rather than "not expected".
void Refuse(CLI::App& command, const std::string& name, const std::string& reason) {
    command
        .add_option_function<std::string>(
            name, [name, reason](const std::string&) { throw CLI::ValidationError(name, reason); },
            "")
        ->group("");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Aurelix " + VersionText() +
                     ": capture, record, play and analyse sound (blocks, peaks, FFT spectrum, "
                     "dominant frequency, frequency triggers).",
                 "aurelix"};
    app.set_version_flag("--version", VersionText(), "print the version and exit");
    app.require_subcommand(1);
    app.footer(
        "Device 0 is the system's default capture device, or the simulated 1 kHz sine on a\n"
        "machine without one. With --json, stdout carries one JSON object per line.\n"
        "Exit status: 0 done, 1 run-time failure, 2 usage error.");

    DevicesOptions devices;
    CLI::App* devicesCommand = app.add_subcommand("devices", "list the input (or output) devices");
    devicesCommand->add_flag("--output", devices.output, "list the output devices");
    devicesCommand->add_flag("--json", devices.json, "one JSON object per device");

    CaptureOptions monitor;
    CLI::App* monitorCommand =
        app.add_subcommand("monitor", "live view of a device until Ctrl-C or --seconds");
    AddCaptureOptions(*monitorCommand, monitor, OptionSet::Live);

    RecordOptions record;
    CLI::App* recordCommand = app.add_subcommand(
        "record", "record a WAV file (until --seconds, Ctrl-C or --max-seconds)");
    recordCommand->add_option("FILE", record.file, "the WAV file to write")->required();
    AddCaptureOptions(*recordCommand, record.capture, OptionSet::Live);
    recordCommand
        ->add_option_function<int32_t>(
            "--max-seconds", [&](const int32_t& value) { record.capture.maxSeconds = value; },
            "the recording stops by itself at this length (MaxRecordingTime)")
        ->check(CLI::PositiveNumber);

    PlayOptions play;
    CLI::App* playCommand =
        app.add_subcommand("play", "play a sound file to an output device or into a WAV file");
    playCommand->add_option("FILE", play.file, "any file libsndfile reads")->required();
    CLI::Option* playDevice = playCommand->add_option(
        "-d,--device", play.device, "output device: index, or a part of its name (default: 0)");
    playCommand->add_option("--to", play.to, "write what is played to this WAV file instead")
        ->excludes(playDevice);
    playCommand->add_flag("--json", play.json, "one JSON object per line on stdout");

    AnalyzeOptions analyze;
    CLI::App* analyzeCommand = app.add_subcommand(
        "analyze", "block analysis of a sound file, offline, as fast as possible");
    analyzeCommand->add_option("FILE", analyze.file, "WAV, FLAC, Ogg, AIFF, ... mono or stereo")
        ->required();
    AddCaptureOptions(*analyzeCommand, analyze.capture, OptionSet::Offline);
    analyzeCommand->add_flag("--spectrum", analyze.spectrum,
                             "add each block's magnitude spectrum to its JSON line");
    analyzeCommand->add_option("--plot", analyze.plot,
                               "draw a spectrogram with the dominant frequency into this PNG");
    Refuse(*analyzeCommand, "--loop", "analyze always runs loop method 1");
    Refuse(*analyzeCommand, "--rate", "analyze takes the rate from the file");
    Refuse(*analyzeCommand, "--channels", "analyze takes the channels from the file");
    analyzeCommand->footer(
        "Rate and channels come from the file. Every whole block is analysed once, in file\n"
        "order, through the same engine path as live capture; \"dt\" is the end of the block\n"
        "in the file, in seconds. A trailing partial block is reported in the summary.");

    ScriptOptions script;
    CLI::App* scriptCommand =
        app.add_subcommand("script", "drive one control line by line from FILE or stdin");
    scriptCommand->add_option("FILE", script.file, "the script (default: standard input)");

    RepairOptions repair;
    CLI::App* repairCommand = app.add_subcommand(
        "repair", "rebuild the header of a recording whose process died, from the file's length");
    repairCommand->add_option("FILE", repair.file, "the recording")->required();
    repairCommand
        ->add_option_function<int32_t>(
            "--rate", [&](const int32_t& value) { repair.rate = value; },
            "samples per second (needed when the header is all zeros)")
        ->check(CLI::PositiveNumber);
    repairCommand
        ->add_option_function<int16_t>(
            "--channels", [&](const int16_t& value) { repair.channels = value; },
            "1 or 2 (needed when the header is all zeros)")
        ->check(CLI::IsMember({1, 2}));
    repairCommand->footer(
        "Only the 44 header bytes are written. Files that are not such a recording (another\n"
        "layout or encoding, too short, not a regular file) are refused and left as they are.");

    app.add_subcommand("version", "print the version");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error);  // --help, --version
        }
        std::cerr << "aurelix: " << error.what() << "\n(see aurelix --help)\n";
        return kExitUsage;
    }

    if (app.got_subcommand("version")) {
        std::cout << VersionText() << '\n';
        return 0;
    }
    if (*devicesCommand) {
        return RunReportingErrors([&] { return RunDevices(devices); });
    }
    if (*monitorCommand) {
        return RunReportingErrors([&] { return RunMonitor(monitor); });
    }
    if (*recordCommand) {
        return RunReportingErrors([&] { return RunRecord(record); });
    }
    if (*playCommand) {
        return RunReportingErrors([&] { return RunPlay(play); });
    }
    if (*analyzeCommand) {
        return RunReportingErrors([&] { return RunAnalyze(analyze); });
    }
    if (*repairCommand) {
        return RunReportingErrors([&] { return RunRepair(repair); });
    }
    return RunReportingErrors([&] { return RunScriptCommand(script); });
}
