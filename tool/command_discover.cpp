// discover [--seconds N] [--json] [--user NAME --password-stdin [--camera ADDRESS]...]
//          [--add NAME=INDEX]... [CONFIG]: the cameras and announced
// multicast streams on the network, and the presets they make; --add puts
// chosen ones into CONFIG as import --merge would.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <istream>
#include <memory>
#include <ostream>

#include "discover/discovery.h"
#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "persist/config_file.h"
#include "probe/net_socket.h"
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
    std::vector<std::string> additions;
    std::string config;
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

// "lo (127.0.0.1), eth1 (10.1.0.5)", or why there was nothing to search.
std::string searchedText(const DiscoveryFindings& findings)
{
    std::string text;
    for (const std::string& each : findings.interfaces)
        text += (text.empty() ? "" : ", ") + each;
    return text.empty() ? "no interface" : text;
}

void printTable(const DiscoveryFindings& findings, std::ostream& out)
{
    std::vector<TableRow> rows = {{"#", "Kind", "Name", "Found on", "Address", "Stream", "Preset"}};
    for (size_t index = 0; index < findings.sources.size(); ++index) {
        const FoundSource& source = findings.sources[index];
        rows.push_back({std::to_string(index), source.kind, source.name, source.interfaceName, source.address,
                        source.stream.empty() ? "-" : source.stream, presetText(source)});
    }
    const std::vector<size_t> widths = columnWidths(rows);
    for (const TableRow& row : rows)
        out << tableLine(row, widths) << '\n';
    for (size_t index = 0; index < findings.sources.size(); ++index) {
        if (!findings.sources[index].note.empty())
            out << "#" << index << ": " << findings.sources[index].note << '\n';
    }
    out << counted(findings.sources.size(), "source") << " found; searched " << searchedText(findings) << '\n';
}

Json jsonOf(const FoundSource& source, size_t index)
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
        const int protocol = protocolIndexOfKeyword(source.keyword);
        if (protocol < 0) {
            io.err << "--add: source #" << addition.index << " makes no preset: " << source.reason << "; "
                   << arguments.config << " is not written\n";
            return kInputRefused;
        }
        GivenPreset preset;
        preset.name = addition.name;
        preset.protocol = protocol;
        GivenEndpoint& endpoint = preset.endpoints[protocol];
        endpoint.port = source.port;
        if (!source.host.empty())
            endpoint.host = source.host;
        if (!source.streamName.empty())
            endpoint.streamName = source.streamName;
        presets.push_back(preset);
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
    if (!readCameras(arguments, login, io))
        return kWrongUsage;
    if (arguments.passwordFromInput && !std::getline(io.in, login.password)) {
        io.err << "--password-stdin: no password on standard input\n";
        return kWrongUsage;
    }
    if (!login.password.empty() && login.password.back() == '\r')
        login.password.pop_back();

    CancelToken cancel;
    const InterruptWatch interruptWatch(cancel);
    const DiscoveryFindings findings = discoverSources(std::chrono::seconds(arguments.seconds), login, cancel);
    for (const std::string& problem : findings.problems)
        io.err << "riverra-presets: " << problem << '\n';
    if (cancel.cancelled()) {
        io.err << "riverra-presets: stopped by Ctrl+C\n";
        return kInterrupted;
    }
    if (arguments.json) {
        // The array stays what scripts read; where it searched goes beside it.
        io.err << "riverra-presets: searched " << searchedText(findings) << '\n';
        Json results = Json::array();
        for (size_t index = 0; index < findings.sources.size(); ++index)
            results.push_back(jsonOf(findings.sources[index], index));
        io.out << results.dump(2, ' ', false, Json::error_handler_t::replace) << std::endl;
    } else {
        printTable(findings, io.out);
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
                    "--add merges as import --merge does: a preset of the same name is replaced. The password is "
                    "never stored or printed; it goes only to cameras that answered this search and asked for a "
                    "log-in. Exit codes: 0 done; 1 --add was refused, nothing written; 2 wrong "
                    "usage; 3 CONFIG could not be written; 130 stopped by Ctrl+C.");
    return {command, [arguments, &context] { return discover(*arguments, context); }};
}
