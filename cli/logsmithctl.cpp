#include "cli/logsmithctl.h"

#include "cli/commands.h"
#include "cli/loggingProfiles.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iterator>
#include <sstream>

namespace {

const std::vector<std::string> exportScopes = {"user", "default", "all"};

// Option values are taken in any case and passed on in the tool's own.
CLI::IsMember oneOf(const std::vector<std::string>& names) {
    return CLI::IsMember(names, CLI::ignore_case);
}

void addScope(CLI::App* command, std::string& scope, const char* what,
              const std::vector<std::string>& names = profileScopes) {
    command->add_option("--scope", scope, what)->transform(oneOf(names));
}

const char* const allUsersHelp =
    "user, default, all or all-users (default: all). all-users: every person's profile on this "
    "machine (needs elevation), not .DEFAULT: --scope default writes that one";

void addNewUsers(CLI::App* command, bool& flag) {
    command->add_flag("--include-new-users", flag,
                      "with --scope all-users: also the default user template, from which the "
                      "profiles of people who sign in later are made");
}

// The longest path the system accepts.
constexpr std::size_t maxPathLength = 32767;

std::string pathLengthCheck(const std::string& path) {
    if (fromLosslessUtf8(path).size() > maxPathLength)
        return "the path is longer than " + std::to_string(maxPathLength) + " characters";
    return {};
}

// The table of exit codes, for the help text.
std::string exitCodeTable() {
    std::string table = "Exit codes:\n";
    for (const exitCodeEntry& entry : exitCodes) {
        std::string name = entry.name;
        name.resize(std::max<std::size_t>(name.size() + 1, 12), ' ');
        table += "  " + std::to_string(entry.code) + "  " + name + entry.meaning + "\n";
    }
    return table;
}

struct commandLine {
    CLI::App app{"logsmithctl show | set | reset | check | export | dump-settings | collect: "
                 "shows, sets, resets, checks and exports the Driftmark logging settings that the "
                 "Logsmith dialog stores, lists the records of a settings file and collects what "
                 "a support case needs.",
                 "logsmithctl"};
    showOptions show;
    setOptions set;
    std::string setMode;
    std::string setFile;
    std::string setDeleteFirst;
    std::string setFor;
    resetOptions reset;
    checkOptions check;
    std::string expectMode;
    std::string expectFile;
    std::string expectDeleteFirst;
    exportOptions exports;
    std::string exportFile;
    dumpOptions dump;
    std::string dumpFile;
    collectOptions collect;
    std::string collectArchive;

    CLI::App* showCommand = nullptr;
    CLI::App* setCommand = nullptr;
    CLI::App* exportCommand = nullptr;
    CLI::App* checkCommand = nullptr;
    CLI::App* resetCommand = nullptr;
    CLI::App* dumpCommand = nullptr;
    CLI::App* collectCommand = nullptr;

    commandLine() {
        app.set_version_flag("--version", toUtf8(versionText()));
        app.require_subcommand(1);
        app.footer(exitCodeTable());

        showCommand = app.add_subcommand(
            "show", "Shows the mode, log file and delete-first flag stored for each profile.");
        addScope(showCommand, show.scope, allUsersHelp);
        addNewUsers(showCommand, show.includeNewUsers);
        showCommand->add_flag("--json", show.json, "JSON output");

        setCommand = app.add_subcommand(
            "set", "Writes the values whose options are given to each profile of the scope, as "
                   "the dialog's Apply stores them; a value not given stays as that profile "
                   "stores it. Where a profile stores no mode, delete-first flag or log file, "
                   "set writes none, no or that profile's default log file once. A value that "
                   "starts with '-' is written --file=-x.");
        setCommand->add_option("--mode", setMode, "target, gui, both or none")
            ->transform(oneOf({"target", "gui", "both", "none"}));
        setCommand
            ->add_option("--file", setFile,
                         "the log file's path; a relative path, a missing folder, a folder's "
                         "name or %VAR% text is warned about and stored")
            ->check(pathLengthCheck);
        setCommand
            ->add_option("--delete-first", setDeleteFirst,
                         "yes or no: delete the log file before recording")
            ->transform(oneOf({"yes", "no"}));
        setCommand->add_flag("--strict", set.strict,
                             "refuse (exit 1, nothing written) where --file would be warned about");
        setCommand->add_option(
            "--for", setFor,
            "30m, 8h, 2d (at most 30d): a Task Scheduler task resets the scope written at that "
            "time; a later set without --for, or reset, cancels it");
        addScope(setCommand, set.scope,
                 "user, default, all or all-users (default: all, as Apply). all-users: every "
                 "person's profile on this machine (needs elevation), not .DEFAULT");
        addNewUsers(setCommand, set.includeNewUsers);

        resetCommand = app.add_subcommand(
            "reset", "Removes the three values from each profile of the scope, then the product "
                     "key and the company key where nothing else is left in them, and cancels a "
                     "pending expiry of the scope. Without --scope, a prompt that is not "
                     "elevated resets only the current user.");
        addScope(resetCommand, reset.scope, allUsersHelp);
        addNewUsers(resetCommand, reset.includeNewUsers);

        exportCommand =
            app.add_subcommand("export", "Writes the product key of each profile to a .reg file.");
        exportCommand->add_option("file", exportFile, "the .reg file to write")->required();
        addScope(exportCommand, exports.scope, "user, default or all (default: all)", exportScopes);

        checkCommand = app.add_subcommand(
            "check", "Exit 0 when the profiles of the scope hold well-formed values (missing "
                     "ones: not configured, logging off), what the --expect options name and, "
                     "while logging is on, a log file name that a file can have in a folder "
                     "that exists; 1 with one line per finding; 4 when a profile cannot be "
                     "read.");
        addScope(checkCommand, check.scope, allUsersHelp);
        addNewUsers(checkCommand, check.includeNewUsers);
        checkCommand->add_flag("--same", check.same, "the profiles must also agree");
        checkCommand->add_option("--expect-mode", expectMode, "target, gui, both or none")
            ->transform(oneOf({"target", "gui", "both", "none"}));
        checkCommand->add_option("--expect-file", expectFile, "the log file's path")
            ->check(pathLengthCheck);
        checkCommand->add_option("--expect-delete-first", expectDeleteFirst, "yes or no")
            ->transform(oneOf({"yes", "no"}));
        checkCommand->add_flag("--json", check.json,
                               "JSON output: the findings and each profile as show --json");

        dumpCommand = app.add_subcommand(
            "dump-settings", "Lists the records of a settings file, one per line: name, type, "
                             "size and value.");
        dumpCommand->add_option("file", dumpFile, "the settings file")->required();
        dumpCommand->add_flag("--json", dump.json, "JSON output");

        collectCommand = app.add_subcommand(
            "collect", "Writes one cabinet for a support case: both profiles' settings, the "
                       "system's version, the logs they name and a manifest with SHA-256 sums, "
                       "read back before it is put in place. Exit 0 with everything found, 3 "
                       "when a log that is there could not be read (the last line names it), 1 "
                       "when nothing was written.");
        collectCommand
            ->add_option("archive", collectArchive,
                         "the cabinet to write (.cab is added to a name without extension), or "
                         "a folder to write it in under a name of its own")
            ->required()
            ->check([](const std::string& path) {
                return path.empty() ? "the archive's name is empty" : pathLengthCheck(path);
            });
        collectCommand
            ->add_option("--max-log-mb", collect.maxLogMb,
                         "keep at most the last N MiB of each log (1 to 1024, default 32)")
            ->check(CLI::Range(1u, 1024u));
        collectCommand->add_flag(
            "--force", collect.force,
            "replace an existing archive (never one of the logs being collected)");
    }

    // Whether the command's job is a change, which its exit code reports even when its report
    // cannot be printed.
    bool makesAChange() const {
        return setCommand->parsed() || resetCommand->parsed() || exportCommand->parsed() ||
               collectCommand->parsed();
    }

    // An option of command that takes a value.
    bool takesValue(const std::wstring& command, const std::wstring& argument) {
        if (!argument.starts_with(L"-"))
            return false;
        for (CLI::App* sub : app.get_subcommands(
                 [&](CLI::App* candidate) { return candidate->get_name() == toUtf8(command); })) {
            const CLI::Option* option = sub->get_option_no_throw(toLosslessUtf8(argument));
            // A flag (--json) expects no items, whatever its type.
            return option != nullptr && option->nonpositional() &&
                   option->get_items_expected_min() > 0;
        }
        return false;
    }

    int runCommand(textOutput& out, textOutput& err) {
        if (showCommand->parsed())
            return ::showCommand(show, out, err);
        if (setCommand->parsed()) {
            if (setCommand->count("--mode") > 0)
                set.mode = setMode;
            if (setCommand->count("--file") > 0)
                set.file = fromLosslessUtf8(setFile);
            if (setCommand->count("--delete-first") > 0)
                set.deleteFirst = setDeleteFirst;
            if (setCommand->count("--for") > 0)
                set.forDuration = fromLosslessUtf8(setFor);
            set.scopeGiven = setCommand->count("--scope") > 0;
            return ::setCommand(set, out, err);
        }
        if (resetCommand->parsed()) {
            reset.scopeGiven = resetCommand->count("--scope") > 0;
            return ::resetCommand(reset, out, err);
        }
        if (exportCommand->parsed()) {
            exports.file = fromLosslessUtf8(exportFile);
            return ::exportCommand(exports, out, err);
        }
        if (dumpCommand->parsed()) {
            dump.file = fromLosslessUtf8(dumpFile);
            return ::dumpSettingsCommand(dump, out, err);
        }
        if (collectCommand->parsed()) {
            collect.archive = fromLosslessUtf8(collectArchive);
            return ::collectCommand(collect, out, err);
        }
        if (checkCommand->count("--expect-mode") > 0)
            check.expectMode = expectMode;
        if (checkCommand->count("--expect-file") > 0)
            check.expectFile = fromLosslessUtf8(expectFile);
        if (checkCommand->count("--expect-delete-first") > 0)
            check.expectDeleteFirst = expectDeleteFirst;
        return ::checkCommand(check, out, err);
    }

    // --include-new-users reaches the template through every person's profiles only.
    std::wstring optionConflict() {
        for (const auto& [command, scope] : {std::pair{showCommand, &show.scope},
                                             {setCommand, &set.scope},
                                             {resetCommand, &reset.scope},
                                             {checkCommand, &check.scope}})
            if (command->parsed() && command->count("--include-new-users") > 0 &&
                *scope != allUsersScope)
                return L"--include-new-users needs --scope all-users";
        return {};
    }
};

bool isTopLevelOption(const std::wstring& argument) {
    return argument == L"-h" || argument == L"--help" || argument == L"--version";
}

// /? asks for the help, as on the system's own tools: for the tool, or after a command for it.
std::vector<std::wstring> withHelpOption(std::vector<std::wstring> arguments) {
    for (std::size_t index = 0; index < arguments.size() && index < 2; ++index)
        if (arguments[index] == L"/?")
            arguments[index] = L"--help";
    return arguments;
}

// The parser would only say that a command is required.
bool isUnknownCommand(commandLine& line, const std::wstring& first) {
    if (first.empty() || first[0] == L'-')
        return false;
    return line.app
        .get_subcommands([&](CLI::App* command) { return command->get_name() == toUtf8(first); })
        .empty();
}

std::wstring joined(const std::vector<std::string>& arguments) {
    std::wstring text;
    for (const std::string& argument : arguments)
        text += (text.empty() ? L"" : L" ") + fromLosslessUtf8(argument);
    return text;
}

int usageError(commandLine& line, const std::wstring& message, textOutput& err) {
    err.write(L"logsmithctl: " + message + L"\n" + fromUtf8(line.app.help()));
    return exitUsage;
}

// The parser's messages echo arguments: each line made printable.
std::wstring printableLines(const std::wstring& text) {
    std::wstring lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find(L'\n', start), text.size());
        lines += printable(text.substr(start, end - start));
        if (end < text.size())
            lines += L'\n';
        start = end + 1;
    }
    return lines;
}

// An option followed by a word that starts with '-' would take that word as its value: the
// option that was meant, or a value that can only be told from one when written --name=-x.
std::wstring swallowedWord(commandLine& line, const std::vector<std::wstring>& arguments) {
    for (std::size_t index = 1; index + 1 < arguments.size(); ++index) {
        if (arguments[index] == L"--")
            break;
        if (line.takesValue(arguments.front(), arguments[index]) &&
            arguments[index + 1].starts_with(L"-"))
            return L"option " + printable(arguments[index]) + L" takes a value, not '" +
                   printable(arguments[index + 1]) +
                   L"'; a value that starts with '-' is written " + printable(arguments[index]) +
                   L"=" + printable(arguments[index + 1]);
    }
    return {};
}

int parseAndRun(const std::vector<std::wstring>& given, textOutput& out, textOutput& err,
                bool& change) {
    const std::vector<std::wstring> arguments = withHelpOption(given);
    commandLine line;
    if (!arguments.empty() && isUnknownCommand(line, arguments.front()))
        return usageError(line, L"unknown command '" + printable(arguments.front()) + L"'", err);
    if (!arguments.empty() && arguments.front().starts_with(L"-") &&
        !isTopLevelOption(arguments.front()))
        return usageError(line, L"unknown option '" + printable(arguments.front()) + L"'", err);
    if (const std::wstring swallowed = swallowedWord(line, arguments); !swallowed.empty())
        return usageError(line, swallowed, err);
    // The parser takes its arguments last first. Unpaired surrogates pass through it intact.
    std::vector<std::string> reversed;
    std::transform(arguments.rbegin(), arguments.rend(), std::back_inserter(reversed),
                   toLosslessUtf8);
    try {
        line.app.parse(reversed);
    } catch (const CLI::ExtrasError&) {
        // The parser's own text lists them last first.
        const std::vector<std::string> extras = line.app.remaining(true);
        return usageError(
            line,
            (extras.size() > 1 ? L"unexpected arguments: " : L"unexpected argument: ") +
                printable(joined(extras)),
            err);
    } catch (const CLI::ParseError& error) {
        std::ostringstream normal;
        std::ostringstream failure;
        const int code = line.app.exit(error, normal, failure);
        out.write(fromUtf8(normal.str()));
        err.write(printableLines(fromLosslessUtf8(failure.str())));
        if (code == 0)
            return exitSuccess;
        err.write(fromUtf8(line.app.help()));
        return exitUsage;
    }
    if (const std::wstring conflict = line.optionConflict(); !conflict.empty())
        return usageError(line, conflict, err);
    change = line.makesAChange();
    return line.runCommand(out, err);
}

} // namespace

int run(const std::vector<std::wstring>& arguments, textOutput& out, textOutput& err) {
    int code = exitFailure;
    bool change = false;
    try {
        code = parseAndRun(arguments, out, err, change);
    } catch (const std::exception& error) {
        err.write(L"logsmithctl: " + fromUtf8(error.what()) + L"\n");
    }
    const DWORD error = out.failure();
    if (error == ERROR_SUCCESS || code == exitUsage)
        return code;
    // A change was made or not whatever became of its report; output is the job of the rest.
    if (change) {
        err.write(L"logsmithctl: the report could not be written (" + systemErrorText(error) +
                  L"); the exit code tells what was done\n");
        return code;
    }
    err.write(L"logsmithctl: the output could not be written: " + systemErrorText(error) + L"\n");
    return exitFailure;
}
