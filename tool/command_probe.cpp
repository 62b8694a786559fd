// probe CONFIG [--preset NAME]... [--seconds N] [--json]: whether the source
// of each preset reaches this machine, and what it sends.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <memory>
#include <ostream>

#include "tool/code_page.h"
#include "tool/commands.h"
#include "tool/net_socket.h"
#include "tool/source_probe.h"
#include "tool/text_table.h"

namespace {

using Json = nlohmann::ordered_json;

struct ProbeArguments {
    std::string config;
    std::vector<std::string> presets;
    int seconds = 3;
    bool json = false;
};

struct ChosenPreset {
    int index;
    std::string name;
    SourceEndpoint source;
};

bool isOff(const ChosenPreset& preset)
{
    return preset.source.keyword == "off";
}

// The presets named on the command line, or all; their texts in UTF-8.
int choosePresets(const StreamSettingsSet& presets, const ProbeArguments& arguments, ToolContext& context,
                  std::vector<ChosenPreset>& chosen)
{
    std::vector<bool> named(arguments.presets.size(), false);
    for (int index = 0; index < presets.count(); ++index) {
        const StreamSettings& preset = presets.at(index);
        const StreamEndpoint& endpoint = preset.endpoint(preset.protocol());
        ChosenPreset entry{index, "", {preset.protocolKeyword(), "", endpoint.port_, ""}};
        std::string problem;
        if (!context.codePage->toUtf8(preset.name(), entry.name, problem) ||
            !context.codePage->toUtf8(endpoint.host_, entry.source.host, problem) ||
            !context.codePage->toUtf8(endpoint.streamName_, entry.source.streamName, problem)) {
            context.io.err << arguments.config << ": preset " << index << " holds " << problem << '\n';
            return kSourceFailed;
        }
        bool wanted = arguments.presets.empty();
        for (size_t name = 0; name < arguments.presets.size(); ++name) {
            if (arguments.presets[name] == entry.name)
                wanted = named[name] = true;
        }
        if (wanted)
            chosen.push_back(entry);
    }
    for (size_t name = 0; name < arguments.presets.size(); ++name) {
        if (!named[name]) {
            context.io.err << "--preset: " << arguments.config << " has no preset named \"" << arguments.presets[name]
                           << "\"\n";
            return kWrongUsage;
        }
    }
    return kDone;
}

std::string targetOf(const ChosenPreset& preset)
{
    return isOff(preset) ? "-" : sourceTarget(preset.source);
}

Json jsonOf(const ChosenPreset& preset, const ProbeReport& report)
{
    Json entry = {{"index", preset.index},
                  {"name", preset.name},
                  {"protocol", preset.source.keyword},
                  {"target", targetOf(preset)},
                  {"ok", report.ok},
                  {"detail", report.detail}};
    if (report.busy)
        entry["busy"] = true;
    if (report.packets)
        entry["packets"] = *report.packets;
    if (report.bytes)
        entry["bytes"] = *report.bytes;
    if (report.mpegTs)
        entry["mpeg_ts"] = *report.mpegTs;
    if (report.rtspStatus)
        entry["rtsp_status"] = *report.rtspStatus;
    if (report.media)
        entry["media"] = *report.media;
    return entry;
}

// One line per preset, each printed as soon as its probe is done.
class ProbeTable {
public:
    ProbeTable(const std::vector<ChosenPreset>& presets, std::ostream& out) : out_(out)
    {
        std::vector<TableRow> rows = {header()};
        for (const ChosenPreset& preset : presets)
            rows.push_back(row(preset, "FAILED"));
        widths_ = columnWidths(rows);
        out_ << tableLine(header(), widths_) << std::endl;
    }

    void add(const ChosenPreset& preset, const ProbeReport& report)
    {
        const char* verdict = isOff(preset) ? "-" : report.ok ? "OK" : report.busy ? "BUSY" : "FAILED";
        const std::string detail = isOff(preset) ? "not probed: the protocol is off" : report.detail;
        out_ << tableLine(row(preset, verdict, detail), widths_) << std::endl;
    }

private:
    static TableRow header() { return {"#", "Name", "Protocol", "Target", "Result"}; }
    static TableRow row(const ChosenPreset& preset, const char* verdict, const std::string& detail = "")
    {
        return {std::to_string(preset.index), preset.name, preset.source.keyword, targetOf(preset), verdict, detail};
    }

    std::ostream& out_;
    std::vector<size_t> widths_;
};

int probePresets(const ProbeArguments& arguments, ToolContext& context)
{
    ToolIo& io = context.io;
    StreamSettingsSet presets(1);
    if (!loadConfig(arguments.config, presets, io))
        return kConfigUnreadable;
    std::vector<ChosenPreset> chosen;
    const int choice = choosePresets(presets, arguments, context, chosen);
    if (choice != kDone)
        return choice;
    std::string problem;
    if (!startNetworking(problem)) {
        io.err << problem << '\n';
        return kSourceFailed;
    }

    const InterruptWatch interruptWatch;
    std::unique_ptr<ProbeTable> table;
    if (!arguments.json)
        table = std::make_unique<ProbeTable>(chosen, io.out);
    Json results = Json::array();
    int probed = 0;
    int busy = 0;  // nothing is known of these sources, but nothing failed either
    int failed = 0;
    for (const ChosenPreset& preset : chosen) {
        ProbeReport report;
        if (!isOff(preset)) {
            report = probeSource(preset.source, arguments.seconds);
            if (report.stopped)
                break;
            ++probed;
            busy += report.busy ? 1 : 0;
            failed += report.ok || report.busy ? 0 : 1;
            results.push_back(jsonOf(preset, report));
        }
        if (table)
            table->add(preset, report);
    }
    if (arguments.json)
        io.out << results.dump(2, ' ', false, Json::error_handler_t::replace) << std::endl;
    else
        io.out << probed - failed - busy << " of " << counted(probed, "source") << " OK"
               << (busy > 0 ? ", " + std::to_string(busy) + " busy" : "") << '\n';
    if (stopRequested()) {
        io.err << "riverra-presets: stopped by Ctrl+C\n";
        return kInterrupted;
    }
    return failed == 0 ? kDone : kSourceFailed;
}

}  // namespace

Command addProbeCommand(CLI::App& program, ToolContext& context)
{
    auto arguments = std::make_shared<ProbeArguments>();
    CLI::App* command = program.add_subcommand(
        "probe", "Check whether the source of each preset reaches this machine, and what it sends");
    command->add_option("CONFIG", arguments->config, "the config.dat to read")->required();
    command->add_option("--preset", arguments->presets, "probe only the preset of this name (may be repeated)")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    command->add_option("--seconds", arguments->seconds, "how long each source is probed at most (default 3)")
        ->check(CLI::Range(1, 30));
    command->add_flag("--json", arguments->json, "print the findings as a JSON array");
    command->footer("Presets are numbered from 0. Exit codes: 0 every probed source is reachable and sent something "
                    "(a port that another program holds is busy, not failed); 1 at least one is not, or its preset "
                    "is misconfigured; 2 wrong usage; "
                    "3 CONFIG cannot be read; 130 stopped by Ctrl+C.");
    return {command, [arguments, &context] { return probePresets(*arguments, context); }};
}
