// discover [--seconds N] [--json] [--user NAME --password-stdin [--camera ADDRESS]...]
//          [--address HOST[:PORT]... [--no-multicast]] [--snapshots DIR]
//          [--add NAME=INDEX]... [CONFIG]: the cameras and announced
// multicast streams on the network, and cameras at given addresses, and the
// presets they make; --snapshots keeps each camera profile's picture;
// --add puts chosen ones into CONFIG as import --merge would.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <istream>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

#include "discover/discovery.h"
#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "persist/config_file.h"
#include "probe/net_socket.h"
#include "probe/thread_end.h"
#include "tool/commands.h"
#include "tool/interrupt.h"
#include "tool/preset_json.h"
#include "tool/text_table.h"

namespace {

using Json = nlohmann::ordered_json;

struct DiscoverArguments {
    int seconds = 4;
    bool json = false;
    std::string user;
    bool passwordFromInput = false;
    std::vector<std::string> cameras;
    std::vector<std::string> addresses;
    bool noMulticast = false;
    std::string snapshots;
    std::vector<std::string> additions;
    std::string config;
};

// What became of a source's snapshot with --snapshots: the file written, or why none.
struct SnapshotFile {
    std::string path;
    std::string reason;
};

// A found source to add: the preset's name and the source's index.
struct Addition {
    std::string name;
    size_t index = 0;
};

bool readAdditions(const DiscoverArguments& arguments, std::vector<Addition>& additions, ToolIo& io)
{
    for (const std::string& text : arguments.additions) {
        const size_t equals = text.rfind('=');
        const std::string number = equals == std::string::npos ? "" : text.substr(equals + 1);
        if (equals == 0 || number.empty() || number.size() > 4 ||
            number.find_first_not_of("0123456789") != std::string::npos) {
            io.err << "--add: \"" << text << "\" is not NAME=INDEX\n";
            return false;
        }
        additions.push_back({text.substr(0, equals), std::stoul(number)});
    }
    if (!additions.empty() && arguments.config.empty()) {
        io.err << "--add: name the config.dat to add to\n";
        return false;
    }
    return true;
}

// The cameras the log-in may go to, by their IPv4 addresses.
bool readCameras(const DiscoverArguments& arguments, CameraLogin& login, ToolIo& io)
{
    for (const std::string& text : arguments.cameras) {
        uint32_t address = 0;
        if (!parseIpv4(text, address)) {
            io.err << "--camera: \"" << text << "\" is not an IPv4 address\n";
            return false;
        }
        login.cameras.push_back(address);
    }
    return true;
}

// The cameras to ask at their addresses; a refused one is said without
// repeating what was given, which may hold a password.
bool readAddresses(const DiscoverArguments& arguments, SearchScope& scope, ToolIo& io)
{
    for (const std::string& text : arguments.addresses) {
        const CameraAddress address = readCameraAddress(text);
        if (!address.read) {
            io.err << "--address: " << address.refusal << '\n';
            return false;
        }
        scope.cameras.push_back(address);
    }
    scope.multicast = !arguments.noMulticast;
    return true;
}

// "DIR/10.1.0.9-main.jpg": the profile token as far as a file name may hold it.
std::string snapshotName(const std::string& directory, const FoundSource& source, std::map<std::string, int>& taken)
{
    std::string name = source.address + "-";
    for (const char c : source.profileToken) {
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.';
        name += kept ? c : '_';
    }
    // Two tokens that differ only where a file name cannot follow them.
    const int seen = taken[name]++;
    if (seen > 0)
        name += "-" + std::to_string(seen + 1);
    return (std::filesystem::u8path(directory) / std::filesystem::u8path(name + ".jpg")).u8string();
}

// Fetches each camera profile's snapshot into DIR, the cameras at once and
// each camera's profiles in turn; the files are written one at a time.
std::vector<SnapshotFile> fetchSnapshots(const std::vector<FoundSource>& sources, const CameraLogin& login,
                                         const std::string& directory, const CancelToken& cancel)
{
    std::vector<SnapshotFile> files(sources.size());
    std::map<std::string, std::vector<size_t>> cameras;  // address → its profiles
    std::map<std::string, int> taken;
    for (size_t index = 0; index < sources.size(); ++index) {
        if (sources[index].kind != "onvif" || sources[index].profileToken.empty())
            continue;
        cameras[sources[index].address].push_back(index);
        files[index].path = snapshotName(directory, sources[index], taken);
    }
    std::mutex writing;
    const auto fetchInto = [&](size_t index, SnapshotFile& file) {
        std::string jpeg;
        if (!fetchSnapshot(sources[index], login, cancel, jpeg, file.reason)) {
            file.path.clear();
            return;
        }
        std::istringstream none;
        std::ostringstream ignored, failure;
        ToolIo io{none, ignored, failure};
        const std::lock_guard<std::mutex> lock(writing);
        if (!writeOutput(file.path, jpeg, io)) {
            file.reason = failure.str();
            file.reason.erase(file.reason.find_last_not_of('\n') + 1);
            file.path.clear();
        }
    };
    // A camera's thread ends with its profiles, never with an exception.
    const auto fetchCamera = [&](const std::vector<size_t>& profiles) noexcept {
        for (const size_t index : profiles) {
            SnapshotFile& file = files[index];
            try {
                fetchInto(index, file);
            } catch (const std::exception& error) {
                file.path.clear();
                file.reason = couldNotBeRead(error);
            }
        }
    };
    std::vector<std::thread> fetchers;
    fetchers.reserve(cameras.size());
    for (const auto& camera : cameras) {
        try {
            fetchers.emplace_back(fetchCamera, std::cref(camera.second));
        } catch (const std::system_error&) {
            fetchCamera(camera.second);  // no thread for it: here, in turn
        }
    }
    for (std::thread& fetcher : fetchers)
        fetcher.join();
    return files;
}

// The file of a source's snapshot, or why it has none; "-" where none is asked for.
std::string snapshotText(const FoundSource& source, const SnapshotFile& file)
{
    if (source.profileToken.empty())
        return "-";
    return file.path.empty() ? "- (" + file.reason + ")" : file.path;
}

void printTable(const DiscoveryFindings& findings, const SearchScope& scope, const std::vector<SnapshotFile>& snapshots,
                std::ostream& out)
{
    TableRow head = {"#", "Kind", "Name", "Found on", "Address", "Stream", "Preset"};
    if (!snapshots.empty())
        head.push_back("Snapshot");
    std::vector<TableRow> rows = {head};
    for (size_t index = 0; index < findings.sources.size(); ++index) {
        const FoundSource& source = findings.sources[index];
        rows.push_back({std::to_string(index), source.kind, source.name, source.interfaceName, source.address,
                        source.stream.empty() ? "-" : source.stream, presetText(source)});
        if (!snapshots.empty())
            rows.back().push_back(snapshotText(source, snapshots[index]));
    }
    const std::vector<size_t> widths = columnWidths(rows);
    for (const TableRow& row : rows)
        out << tableLine(row, widths) << '\n';
    for (size_t index = 0; index < findings.sources.size(); ++index) {
        if (!findings.sources[index].note.empty())
            out << "#" << index << ": " << findings.sources[index].note << '\n';
    }
    out << counted(findings.sources.size(), "source") << " found; searched " << searchedText(findings, scope) << '\n';
}

Json jsonOf(const FoundSource& source, size_t index, const SnapshotFile* snapshot)
{
    Json entry = {{"index", index},           {"kind", source.kind},       {"name", source.name},
                  {"interface", source.interfaceName}, {"address", source.address}, {"stream", source.stream}};
    if (!source.location.empty())
        entry["location"] = source.location;
    if (source.keyword.empty()) {
        entry["preset"] = nullptr;
        entry["reason"] = source.reason;
    } else {
        entry["preset"] = {{"protocol", source.keyword},
                           {"host", source.host},
                           {"port", source.port},
                           {"stream_name", source.streamName}};
    }
    if (!source.note.empty())
        entry["note"] = source.note;
    if (snapshot != nullptr && !source.profileToken.empty()) {
        entry["snapshot"] = snapshot->path.empty() ? Json(nullptr) : Json(snapshot->path);
        if (snapshot->path.empty())
            entry["snapshot_reason"] = snapshot->reason;
    }
    return entry;
}

// The chosen sources joined to CONFIG the way import --merge joins presets.
int addToConfig(const std::vector<Addition>& additions, const DiscoveryFindings& findings,
                const DiscoverArguments& arguments, ToolContext& context)
{
    ToolIo& io = context.io;
    std::vector<GivenPreset> presets;
    std::vector<std::string> places;
    for (const Addition& addition : additions) {
        if (addition.index >= findings.sources.size()) {
            io.err << "--add: no source #" << addition.index << " was found; " << arguments.config
                   << " is not written\n";
            return kInputRefused;
        }
        const FoundSource& source = findings.sources[addition.index];
        if (protocolIndexOfKeyword(source.keyword) < 0) {
            io.err << "--add: source #" << addition.index << " makes no preset: " << source.reason << "; "
                   << arguments.config << " is not written\n";
            return kInputRefused;
        }
        presets.push_back(givenPresetOf(source, addition.name));
        places.push_back("source #" + std::to_string(addition.index));
    }
    StreamSettingsSet merged(1);
    if (!loadConfig(arguments.config, merged, io))
        return kInputRefused;
    JoinOptions options;
    options.joining = Joining::byName;
    JoinReport joined;
    joinPresets(merged, presets, options, *context.codePage, joined);
    ImportReport report;
    describeJoinNotes(joined, places, true, report);
    for (const auto* lines : {&report.notices, &report.changes, &report.refusals}) {
        for (const std::string& line : *lines)
            io.err << "--add: " << line << '\n';
    }
    if (joined.refused()) {
        io.err << "--add: refused; " << arguments.config << " is not written\n";
        return kInputRefused;
    }
    const SaveResult saved = writeConfigFile(merged, toFilePath(arguments.config));
    if (!saved) {
        io.err << saveFailureLine(arguments.config, saved, true);  // loadConfig found it
        return kNotWritten;
    }
    context.configWritten = arguments.config;
    io.out << arguments.config << ": " << counted(additions.size(), "preset") << " added, "
           << counted(merged.count(), "preset") << " written\n";
    return kDone;
}

int discover(const DiscoverArguments& arguments, ToolContext& context)
{
    ToolIo& io = context.io;
    std::vector<Addition> additions;
    if (!readAdditions(arguments, additions, io))
        return kWrongUsage;
    CameraLogin login;
    login.user = arguments.user;
    SearchScope scope;
    if (!readCameras(arguments, login, io) || !readAddresses(arguments, scope, io))
        return kWrongUsage;
    if (!arguments.snapshots.empty()) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::u8path(arguments.snapshots), error);
        if (error) {
            io.err << arguments.snapshots << ": the folder cannot be made: " << error.message() << '\n';
            return kNotWritten;
        }
    }
    if (arguments.passwordFromInput && !std::getline(io.in, login.password)) {
        io.err << "--password-stdin: no password on standard input\n";
        return kWrongUsage;
    }
    if (!login.password.empty() && login.password.back() == '\r')
        login.password.pop_back();

    CancelToken cancel;
    const InterruptWatch interruptWatch(cancel);
    const DiscoveryFindings findings =
        discoverSources(std::chrono::seconds(arguments.seconds), scope, login, cancel);
    for (const std::string& problem : findings.problems)
        io.err << "riverra-presets: " << problem << '\n';
    std::vector<SnapshotFile> snapshots;
    if (!arguments.snapshots.empty() && !cancel.cancelled())
        snapshots = fetchSnapshots(findings.sources, login, arguments.snapshots, cancel);
    if (cancel.cancelled()) {
        io.err << "riverra-presets: stopped by Ctrl+C\n";
        return kInterrupted;
    }
    if (arguments.json) {
        // The array stays what scripts read; where it searched goes beside it.
        io.err << "riverra-presets: searched " << searchedText(findings, scope) << '\n';
        Json results = Json::array();
        for (size_t index = 0; index < findings.sources.size(); ++index)
            results.push_back(jsonOf(findings.sources[index], index, snapshots.empty() ? nullptr : &snapshots[index]));
        io.out << results.dump(2, ' ', false, Json::error_handler_t::replace) << std::endl;
    } else {
        printTable(findings, scope, snapshots, io.out);
    }
    return additions.empty() ? kDone : addToConfig(additions, findings, arguments, context);
}

}  // namespace

Command addDiscoverCommand(CLI::App& program, ToolContext& context)
{
    auto arguments = std::make_shared<DiscoverArguments>();
    CLI::App* command = program.add_subcommand(
        "discover", "Find ONVIF cameras and SAP-announced multicast streams on every network interface, and the "
                    "presets they make");
    command->add_option("--seconds", arguments->seconds, "how long to search (default 4)")->check(CLI::Range(1, 60));
    command->add_flag("--json", arguments->json, "print the findings as a JSON array");
    CLI::Option* user = command->add_option("--user", arguments->user, "the user name of the cameras");
    CLI::Option* password = command->add_flag("--password-stdin", arguments->passwordFromInput,
                                               "read the cameras' password from the first line of standard input");
    // A log-in without its password, or a CONFIG that nothing is added to,
    // would silently do less than asked.
    user->needs(password);
    password->needs(user);
    command
        ->add_option("--camera", arguments->cameras,
                     "log in only to the camera at this IPv4 address (may be repeated; default: every camera that "
                     "answers and asks for a log-in)")
        ->type_name("ADDRESS")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->needs(user);
    CLI::Option* address =
        command
            ->add_option("--address", arguments->addresses,
                         "also ask the camera at this host name or IPv4 address (optionally :PORT, or its http:// "
                         "device service URL), which multicast does not reach (may be repeated)")
            ->type_name("HOST[:PORT]")
            ->expected(1)
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command->add_flag("--no-multicast", arguments->noMulticast, "search only at the --address cameras")->needs(address);
    command->add_option("--snapshots", arguments->snapshots,
                        "write each camera profile's snapshot as DIR/<address>-<profile token>.jpg")
        ->type_name("DIR");
    CLI::Option* add = command->add_option("--add", arguments->additions,
                                           "add found source INDEX to CONFIG as a preset named NAME (may be repeated)")
                           ->type_name("NAME=INDEX")
                           ->expected(1)
                           ->allow_extra_args(false)
                           ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command->add_option("CONFIG", arguments->config, "the config.dat that --add adds to")
        ->needs(add)
        ->check(writtenConfigFile());
    command->footer("Sources are numbered from 0 in the order listed: cameras by address, then announced sessions. "
                    "A camera given with --address gets a Probe of its own and, whether or not it answers, "
                    "GetSystemDateAndTime at its device service (port 80 unless given); it is listed as found "
                    "\"by address\". "
                    "--add merges as import --merge does: a preset of the same name is replaced. The password is "
                    "never stored or printed; it goes only to cameras that answered this search and asked for a "
                    "log-in. Exit codes: 0 done; 1 --add was refused, nothing written; 2 wrong "
                    "usage; 3 CONFIG could not be written; 130 stopped by Ctrl+C.");
    return {command, [arguments, &context] { return discover(*arguments, context); }};
}
