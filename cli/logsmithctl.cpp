#include "cli/logsmithctl.h"

#include "cli/commands.h"

#include <CLI/CLI.hpp>

#include <sstream>

namespace {

const std::vector<std::string> scopes = {"user", "default", "all"};

void addScope(CLI::App* command, std::string& scope, const char* what) {
    command->add_option("--scope", scope, what)->check(CLI::IsMember(scopes));
}

// The longest path the system accepts.
constexpr std::size_t maxPathLength = 32767;

std::string pathLengthCheck(const std::string& path) {
    if (fromUtf8(path).size() > maxPathLength)
        return "the path is longer than " + std::to_string(maxPathLength) + " characters";
    return {};
}

struct commandLine {
    CLI::App app{"Shows, sets, exports and checks the Driftmark logging settings that the "
                 "Logsmith dialog stores, and lists the records of a settings file.",
                 "logsmithctl"};
    showOptions show;
    setOptions set;
    std::string setMode;
    std::string setFile;
    std::string setDeleteFirst;
    exportOptions exports;
    std::string exportFile;
    dumpOptions dump;
    std::string dumpFile;

    CLI::App* showCommand = nullptr;
    CLI::App* setCommand = nullptr;
    CLI::App* exportCommand = nullptr;
    CLI::App* checkCommand = nullptr;
    CLI::App* dumpCommand = nullptr;

    commandLine() {
        app.set_version_flag("--version", toUtf8(versionText()));
        app.require_subcommand(1);

        showCommand = app.add_subcommand(
            "show", "Shows the mode, log file and delete-first flag stored for each profile.");
        addScope(showCommand, show.scope, "user, default or all (default: all)");
        showCommand->add_flag("--json", show.json, "JSON output");

        setCommand = app.add_subcommand(
            "set", "Writes the three values as the dialog's Apply does; an option not given "
                   "keeps what the dialog would show.");
        setCommand->add_option("--mode", setMode, "target, gui, both or none")
            ->check(CLI::IsMember({"target", "gui", "both", "none"}));
        setCommand->add_option("--file", setFile, "the log file's path")->check(pathLengthCheck);
        setCommand
            ->add_option("--delete-first", setDeleteFirst,
                         "yes or no: delete the log file before recording")
            ->check(CLI::IsMember({"yes", "no"}));
        addScope(setCommand, set.scope, "user, default or all (default: all, as Apply)");

        exportCommand =
            app.add_subcommand("export", "Writes the product key of each profile to a .reg file.");
        exportCommand->add_option("file", exportFile, "the .reg file to write")->required();
        addScope(exportCommand, exports.scope, "user, default or all (default: all)");

        checkCommand = app.add_subcommand(
            "check", "Exit 0 when both profiles hold well-formed values that agree and the "
                     "log file's folder exists while logging is on; else one line per finding.");

        dumpCommand = app.add_subcommand(
            "dump-settings", "Lists the records of a settings file, one per line: name, type, "
                             "size and value.");
        dumpCommand->add_option("file", dumpFile, "the settings file")->required();
        dumpCommand->add_flag("--json", dump.json, "JSON output");
    }

    int runCommand(textOutput& out, textOutput& err) {
        if (showCommand->parsed())
            return ::showCommand(show, out);
        if (setCommand->parsed()) {
            if (setCommand->count("--mode") > 0)
                set.mode = setMode;
            if (setCommand->count("--file") > 0)
                set.file = fromUtf8(setFile);
            if (setCommand->count("--delete-first") > 0)
                set.deleteFirst = setDeleteFirst;
            return ::setCommand(set, out, err);
        }
        if (exportCommand->parsed()) {
            exports.file = fromUtf8(exportFile);
            return ::exportCommand(exports, out, err);
        }
        if (dumpCommand->parsed()) {
            dump.file = fromUtf8(dumpFile);
            return ::dumpSettingsCommand(dump, out, err);
        }
        return ::checkCommand(out);
    }
};

} // namespace

int run(const std::vector<std::wstring>& arguments, textOutput& out, textOutput& err) {
    try {
        commandLine line;
        // The parser would only say that a command is required.
        if (!arguments.empty() && !arguments.front().empty() && arguments.front()[0] != L'-' &&
            line.app
                .get_subcommands([&](CLI::App* command) {
                    return command->get_name() == toUtf8(arguments.front());
                })
                .empty()) {
            err.write(L"logsmithctl: unknown command '" + arguments.front() + L"'\n" +
                      fromUtf8(line.app.help()));
            return exitUsage;
        }
        // The parser takes its arguments last first.
        std::vector<std::string> reversed;
        for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument)
            reversed.push_back(toUtf8(*argument));
        try {
            line.app.parse(reversed);
        } catch (const CLI::ParseError& error) {
            std::ostringstream normal;
            std::ostringstream failure;
            const int code = line.app.exit(error, normal, failure);
            out.write(fromUtf8(normal.str()));
            err.write(fromUtf8(failure.str()));
            if (code == 0)
                return exitSuccess;
            err.write(fromUtf8(line.app.help()));
            return exitUsage;
        }
        return line.runCommand(out, err);
    } catch (const std::exception& error) {
        err.write(L"logsmithctl: " + fromUtf8(error.what()) + L"\n");
        return exitFailure;
    }
}
