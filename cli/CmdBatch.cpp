// The eight batch tools from the terminal. Each command opens the main window on the headless
// backend (no updater, no preview players), selects the tool's page, adds the files through the
// rows' add path, sets the rows' controls as a user would, presses the start button, runs the
// loop until the page is idle again and reports every row from its controls.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/BatchHandlers.h"
#include "app/MainFrameWnd.h"
#include "cli/Command.h"
#include "common/Common.h"
#include "common/FormatPresets.h"
#include "engine/AudioProcess.h"
#include "engine/ProgressTicker.h"
#include "platform/Platform.h"
#include "ui/OutputFormatWnd.h"
#include "ui/RowLookup.h"
#include "ui/TaskList.h"
#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

using Args = std::vector<std::string>;

std::wstring W(const std::string& s) {
    return platform::FromUtf8(s);
}
std::string N(const std::wstring& s) {
    return platform::ToUtf8(s);
}

// ---- Command line ---------------------------------------------------------------------------------

struct Parsed {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> files;
    bool Has(const std::string& name) const { return values.count(name) != 0 || flags.count(name) != 0; }
    std::string Value(const std::string& name) const {
        auto it = values.find(name);
        return it != values.end() ? it->second : std::string();
    }
};

// Options ("--name VALUE", "--name=VALUE" or a flag) may stand before or after the files; "--"
// ends the options, so a file may be named like one.
int Parse(const char* command, const Args& args, const std::set<std::string>& valueOptions,
          const std::set<std::string>& flagOptions, Parsed& out) {
    std::set<std::string> values = valueOptions;
    values.insert("--out");
    std::set<std::string> flags = flagOptions;
    flags.insert("--json");
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 3 || a.compare(0, 2, "--") != 0) {
            out.files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = a, value;
        const size_t eq = a.find('=');
        const bool inlineValue = eq != std::string::npos;
        if (inlineValue) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        }
        if (flags.count(name) != 0 && !inlineValue) {
            out.flags.insert(name);
        } else if (values.count(name) != 0) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) return cli::UsageError(command, "missing value for " + name);
                value = args[++i];
            }
            if (value.empty()) return cli::UsageError(command, "missing value for " + name);
            out.values[name] = value;
        } else {
            return cli::UsageError(command, "unknown option " + name);
        }
    }
    if (out.files.empty()) return cli::UsageError(command, "no files given");
    return 0;
}

// "00:01:30.500", "1:30", "90.5": hours, minutes and seconds (with a fraction) to milliseconds.
bool ParseTime(const std::string& text, uint32_t& ms) {
    if (text.empty()) return false;
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const size_t colon = text.find(':', from);
        parts.push_back(text.substr(from, colon == std::string::npos ? std::string::npos : colon - from));
        if (colon == std::string::npos) break;
        from = colon + 1;
    }
    if (parts.size() > 3) return false;
    double total = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        const bool last = i + 1 == parts.size();
        if (p.empty() || p.find_first_not_of(last ? "0123456789." : "0123456789") != std::string::npos ||
            std::count(p.begin(), p.end(), '.') > 1 || p == ".") {
            return false;
        }
        total = total * 60 + std::stod(p);
    }
    if (total * 1000 > 4000000000.0) return false;
    ms = static_cast<uint32_t>(std::llround(total * 1000));
    return true;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// ---- The window session ---------------------------------------------------------------------------

// One input's outcome line.
struct RowReport {
    bool ok = false;
    std::wstring input, output;
};

class BatchSession {
public:
    explicit BatchSession(int page) : m_page(page), m_backend(true), m_driver(m_backend) {}
    ~BatchSession() {
        if (m_wnd) {
            m_wnd->CloseSequence();
            m_driver.Pump();
            m_wnd.reset();
        }
        CAppUI::SetBackend(nullptr);
    }

    bool Open() {
        // Every page runs ffmpeg and reads lengths with ffprobe: say which one is missing before
        // any row is added.
        if (!cli::CheckDependencies({"ffmpeg", "ffprobe"}, false)) return false;
        if (!CSkinUI::LoadEmbedded()) {
            std::fprintf(stderr, "tonewright-cli: the skin is missing from the program\n");
            return false;
        }
        CAppUI::SetBackend(&m_backend);
        CAudioProcess::OnInstallProbeHooks();
        // Rows are animated by time in the window; from the terminal only the work counts.
        CProgressTicker::SetSleepFunction([](uint32_t) {});
        MainFrameOptions options;
        options.startUpdater = false;
        options.createPlayers = false;
        m_wnd = std::make_unique<CMainFrameWnd>(L"", options);
        m_wnd->SetMessageHook([](int, const std::wstring& text) {
            std::fprintf(stderr, "tonewright-cli: %s\n", N(text).c_str());
            return 1;
        });
        if (!m_wnd->Create(nullptr, kMainWindowTitle, 0, 0, 0, 0)) {
            std::fprintf(stderr, "tonewright-cli: the main window could not be built\n");
            m_wnd.reset();
            return false;
        }
        m_wnd->Batch().SetAnimationDelayMs(0);
        m_wnd->Batch().SetMessageSink(
            [](const std::wstring& text) { std::fprintf(stderr, "tonewright-cli: %s\n", N(text).c_str()); });
        m_wnd->OpenTool(m_page);
        m_driver.Pump();
        return true;
    }

    CMainFrameWnd& Wnd() { return *m_wnd; }
    CTestDriverUI& Driver() { return m_driver; }
    CHeadlessBackendUI& Backend() { return m_backend; }
    CListUI* SourceList() const { return m_wnd->Tasks().PageList(m_page); }
    CListUI* BatchList() const { return m_wnd->Tasks().BatchList(m_page); }

    // Adds files through the page's add path; refused files become failed rows at once.
    void AddFiles(const std::vector<std::string>& files) {
        for (const std::string& file : files) {
            std::error_code ec;
            const std::wstring path = W(std::filesystem::absolute(std::filesystem::path(file), ec).string());
            m_inputs.push_back(path);
            // The shared check names the real cause (missing, a folder, a pipe, unreadable, ...).
            if (!cli::CheckInput(file)) {
                m_refused.insert(path);
                continue;
            }
            if (m_wnd->Tasks().HoldsFile(m_page, path)) {
                Refuse(path, "given twice");
                continue;
            }
            m_wnd->Tasks().DropFiles(m_page, {path});
            m_driver.PumpUntil([&] { return !m_wnd->Tasks().Pending(); }, 600000);
            m_driver.Pump();
            if (!m_wnd->Tasks().HoldsFile(m_page, path)) Refuse(path, "not accepted by this tool");
        }
    }
    bool Accepted(const std::wstring& path) const { return m_refused.count(path) == 0; }
    const std::vector<std::wstring>& Inputs() const { return m_inputs; }

    // "opt_CustomDir" with the folder in "outpath".
    bool UseOutputFolder(const std::string& dir) {
        std::error_code ec;
        std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(dir), ec);
        std::filesystem::create_directories(p, ec);
        if (!std::filesystem::is_directory(p, ec)) {
            std::fprintf(stderr, "tonewright-cli: not a folder: %s\n", dir.c_str());
            return false;
        }
        if (!m_driver.SelectOption(m_wnd.get(), L"opt_CustomDir")) {
            if (auto* o = m_wnd->FindControlAs<COptionUI>(L"opt_CustomDir")) o->Selected(true);
        }
        if (CControlUI* edit = m_wnd->FindControl(L"outpath")) edit->SetText(W(p.string()));
        return true;
    }

    // Presses start and runs the loop until the page is idle again; a bar on a terminal.
    void Run(const std::function<std::wstring(CControlUI*)>& outputOf) {
        CListUI* list = BatchList();
        if (list == nullptr || list->GetCount() == 0) return;
        m_driver.Pump();
        m_wnd->Batch().OnStartClick();
        const bool bar = ::isatty(2) != 0;
        const int total = list->GetCount();
        while (m_wnd->Batch().IsRunning(m_page, 0) || m_wnd->Batch().IsSingleRunning()) {
            m_driver.PumpUntil([&] { return !m_wnd->Batch().IsRunning(m_page, 0); }, 200);
            if (bar) {
                int done = 0;
                for (int i = 0; i < total; ++i) {
                    const std::wstring out = outputOf(list->GetItemAt(i));
                    if (!out.empty() && platform::IsRegularFile(out)) ++done;
                }
                const int width = 30;
                const int filled = total > 0 ? done * width / total : width;
                std::fprintf(stderr, "\r[%s%s] %d/%d", std::string(filled, '#').c_str(),
                             std::string(width - filled, ' ').c_str(), done, total);
            }
        }
        m_driver.Pump();
        if (bar) std::fprintf(stderr, "\n");
    }

    // Rows of the batch list for one input, in list order.
    std::vector<CControlUI*> RowsOf(const std::wstring& input) const {
        std::vector<CControlUI*> rows;
        if (CListUI* list = BatchList()) {
            for (int i = 0; i < list->GetCount(); ++i) {
                CControlUI* row = list->GetItemAt(i);
                if (row != nullptr && row->GetUserData() == input) rows.push_back(row);
            }
        }
        return rows;
    }

    std::vector<RowReport> Reports(const std::function<std::wstring(CControlUI*)>& outputOf,
                                   const std::function<bool(CControlUI*)>& rowFailed) const {
        std::vector<RowReport> reports;
        for (const std::wstring& input : m_inputs) {
            if (!Accepted(input)) {
                reports.push_back({false, input, L""});
                continue;
            }
            for (CControlUI* row : RowsOf(input)) {
                RowReport r;
                r.input = input;
                r.output = outputOf(row);
                r.ok = !r.output.empty() && CCommon::OnGetFileSize(r.output) > 0 &&
                       !(rowFailed && rowFailed(row));
                reports.push_back(r);
            }
        }
        return reports;
    }

private:
    void Refuse(const std::wstring& path, const char* reason) {
        std::fprintf(stderr, "tonewright-cli: %s: %s\n", N(path).c_str(), reason);
        m_refused.insert(path);
    }

    int m_page;
    CHeadlessBackendUI m_backend;
    CTestDriverUI m_driver;
    std::unique_ptr<CMainFrameWnd> m_wnd;
    std::vector<std::wstring> m_inputs;
    std::set<std::wstring> m_refused;
};

using rows::Child;

std::wstring UserDataOf(CControlUI* row, const wchar_t* name) {
    CControlUI* c = Child(row, name);
    return c != nullptr ? c->GetUserData() : std::wstring();
}

bool LabelFailed(CControlUI* row) {
    CControlUI* c = Child(row, L"ProgressValue");
    return c != nullptr && c->GetText() == L"失败";
}

int Print(const std::vector<RowReport>& reports, bool json) {
    bool allOk = !reports.empty();
    for (const RowReport& r : reports) {
        allOk = allOk && r.ok;
        if (json) {
            std::printf("{\"status\":\"%s\",\"input\":%s,\"output\":%s}\n", r.ok ? "ok" : "failed",
                        cli::JsonString(r.input).c_str(), cli::JsonString(r.output).c_str());
        } else {
            std::printf("%s\t%s\t%s\n", r.ok ? "ok" : "failed", N(r.input).c_str(), N(r.output).c_str());
        }
    }
    std::fflush(stdout);
    return allOk ? 0 : 1;
}

// ---- convert ----------------------------------------------------------------------------------------

const std::vector<std::string> kTypes = {"mp3", "wav", "flac", "aac", "ogg"};

std::string Join(const std::vector<std::string>& items) {
    std::string out;
    for (const auto& s : items) out += (out.empty() ? "" : ", ") + s;
    return out;
}

// The output format dialog for one row, answered like a user: the type, then the preset row.
void PickPresetForRow(BatchSession& session, CControlUI* row, const std::wstring& type,
                      const std::wstring& title, const std::wstring& quality) {
    CControlUI* button = Child(row, L"formatoutext");
    if (button == nullptr) return;
    session.Driver().AnswerNextModal([&](CWindowUI* modal) {
        auto* dialog = dynamic_cast<COutputFormatWnd*>(modal);
        if (dialog == nullptr) {
            modal->Close(2);
            return;
        }
        if (auto* types = dialog->FindControlAs<CListUI>(L"list_audiotype")) {
            for (int i = 0; i < types->GetCount(); ++i) {
                CControlUI* opt = Child(types->GetItemAt(i), L"opt_audioType");
                if (opt != nullptr && platform::ToLower(opt->GetText()) == platform::ToLower(type)) {
                    session.Driver().ClickListItem(dialog, L"list_audiotype", i);
                }
            }
        }
        if (auto* formats = dialog->FindControlAs<CListUI>(L"list_audioformat")) {
            for (int i = 0; i < formats->GetCount(); ++i) {
                CControlUI* r = formats->GetItemAt(i);
                CControlUI* opt = Child(r, L"opt_audiosource");
                CControlUI* detail = Child(r, L"detailinfo");
                const bool byTitle = !title.empty() && opt != nullptr && opt->GetText() == title;
                const bool byQuality =
                    !quality.empty() && detail != nullptr && detail->GetText().rfind(quality + L",", 0) == 0;
                if (byTitle || byQuality) {
                    session.Driver().ClickListItem(dialog, L"list_audioformat", i);
                    return;
                }
            }
        }
        dialog->Close(2);
    });
    std::atomic<bool> done{false};
    std::thread picker([&session, &done, button] {
        OnOutputFormatForRow(&session.Wnd(), button);
        done = true;
    });
    session.Driver().PumpUntil([&done] { return done.load(); }, 600000);
    picker.join();
    session.Driver().Pump();
}

int RunConvert(const Args& args) {
    Parsed p;
    if (int rc =
            Parse("convert", args, {"--to", "--quality", "--preset", "--channels", "--wav-bits"}, {}, p)) {
        return rc;
    }
    const std::string to = Lower(p.Value("--to"));
    if (p.Has("--to") && std::find(kTypes.begin(), kTypes.end(), to) == kTypes.end()) {
        return cli::UsageError("convert", "--to must be one of: " + Join(kTypes));
    }
    if (p.Has("--quality") && p.Has("--preset")) {
        return cli::UsageError("convert", "give either --quality or --preset");
    }
    // Presets and qualities the dialog offers.
    std::vector<FormatPreset> all = BuiltinFormatPresets();
    for (const auto& preset : LoadFormatPresets()) all.push_back(preset);
    std::vector<std::string> titles, qualities;
    for (const auto& preset : all) {
        titles.push_back(N(preset.title));
        const size_t comma = preset.detail.find(L',');
        if (comma != std::wstring::npos) {
            const std::string q = N(preset.detail.substr(0, comma));
            if (std::find(qualities.begin(), qualities.end(), q) == qualities.end()) qualities.push_back(q);
        }
    }
    const std::string preset = p.Value("--preset");
    const std::string quality = p.Value("--quality");
    if (p.Has("--preset") && std::find(titles.begin(), titles.end(), preset) == titles.end()) {
        return cli::UsageError("convert", "unknown preset '" + preset + "'; presets: " + Join(titles));
    }
    if (p.Has("--quality") && std::find(qualities.begin(), qualities.end(), quality) == qualities.end()) {
        return cli::UsageError("convert", "--quality must be one of: " + Join(qualities));
    }
    const std::map<std::string, uint64_t> channels = {{"same", 0}, {"mono", 1}, {"stereo", 2}};
    if (p.Has("--channels") && channels.count(p.Value("--channels")) == 0) {
        return cli::UsageError("convert", "--channels must be one of: same, mono, stereo");
    }
    const std::map<std::string, std::wstring> codecs = {
        {"8", L"pcm_u8"}, {"16", L"pcm_s16le"}, {"24", L"pcm_s24le"}, {"32", L"pcm_s32le"}};
    if (p.Has("--wav-bits") && codecs.count(p.Value("--wav-bits")) == 0) {
        return cli::UsageError("convert", "--wav-bits must be one of: 8, 16, 24, 32");
    }

    BatchSession session(CMainFrameWnd::kPageFormat);
    if (!session.Open()) return 1;
    if (p.Has("--out") && !session.UseOutputFolder(p.Value("--out"))) return 2;
    // The page's output type, read by the rows as they are added.
    if (!to.empty()) {
        if (auto* combo = session.Wnd().FindControlAs<CComboUI>(L"comboformatType")) {
            for (int i = 0; i < combo->GetItemCount(); ++i) {
                if (Lower(N(combo->GetItemText(i))) == to) combo->SelectItem(i);
            }
        }
    }
    session.AddFiles(p.files);
    CListUI* list = session.BatchList();
    for (int i = 0; list != nullptr && i < list->GetCount(); ++i) {
        CControlUI* row = list->GetItemAt(i);
        if (!preset.empty() || !quality.empty()) {
            std::wstring type = W(to);
            if (type.empty()) {
                CCommon::OnStripPrefix(Child(row, L"outfileext")->GetText(), L"格式：", type);
            }
            PickPresetForRow(session, row, type, W(preset), W(quality));
            // The dialog's pick names the type; an explicit --to wins over a preset's own type.
            if (!to.empty()) {
                if (CControlUI* ext = Child(row, L"outfileext")) ext->SetText(L"格式：" + W(to));
            }
        }
        if (p.Has("--channels")) {
            if (CControlUI* ext = Child(row, L"outfileext")) ext->SetTag(channels.at(p.Value("--channels")));
        }
        if (p.Has("--wav-bits")) {
            if (CControlUI* q = Child(row, L"outfilequality"))
                q->SetUserData(codecs.at(p.Value("--wav-bits")));
        }
    }
    auto outputOf = [](CControlUI* row) { return UserDataOf(row, L"btn_openfile"); };
    session.Run(outputOf);
    return Print(session.Reports(outputOf, nullptr), p.Has("--json"));
}

// ---- cut, split, extract ----------------------------------------------------------------------------

// Segment rows for a source, named "<name>_<n><ext>" by the numbered-name rule from the rows
// already in the segment list.
int AddSegments(BatchSession& session, int page, const std::wstring& source, const std::wstring& baseName,
                const std::wstring& ext, const std::vector<SegmentRange>& ranges) {
    CListUI* out = session.BatchList();
    int counter = (out != nullptr ? out->GetCount() : 0) + 1;
    std::wstring folder;
    CCommon::OnGetFolderOfPath(source, folder);
    std::wstring size;
    CCommon::OnFormatFileSize(CCommon::OnGetFileSize(source), size);
    int added = 0;
    for (const SegmentRange& r : ranges) {
        std::wstring name;
        if (!CCommon::OnGetFreeNumberedName(folder + baseName + ext, name, counter, ext)) continue;
        if (session.Wnd().Tasks().AddSegmentRow(page, source, name, r.startMs, r.endMs, size) != nullptr)
            ++added;
    }
    session.Driver().Pump();
    return added;
}

MediaFacts FactsOf(const std::wstring& path) {
    MediaFacts facts;
    CCommon::ProbeForListRow(path, facts);
    return facts;
}

int RunSegments(const char* command, const Args& args, int page) {
    const bool split = std::string(command) == "split";
    Parsed p;
    const std::set<std::string> values = split ? std::set<std::string>{"--parts", "--length"}
                                               : std::set<std::string>{"--start", "--end", "--name"};
    if (int rc = Parse(command, args, values, {}, p)) return rc;
    if (p.files.size() != 1) return cli::UsageError(command, "give exactly one file");
    uint32_t startMs = 0, endMs = 0, lengthMs = 0;
    int parts = 0;
    int method = CMainFrameWnd::kCutManual;
    if (split) {
        if (p.Has("--parts") == p.Has("--length"))
            return cli::UsageError(command, "give either --parts or --length");
        if (p.Has("--parts")) {
            const std::string v = p.Value("--parts");
            parts =
                v.find_first_not_of("0123456789") == std::string::npos && v.size() <= 2 ? std::stoi(v) : 0;
            if (parts < 2 || parts > 10)
                return cli::UsageError(command, "--parts must be one of: 2, 3, ... 10");
            method = CMainFrameWnd::kCutEven;
        } else {
            if (!ParseTime(p.Value("--length"), lengthMs) || lengthMs == 0) {
                return cli::UsageError(command, "--length must be a time such as 00:00:30.000, 0:30 or 30");
            }
            method = CMainFrameWnd::kCutByLength;
        }
    } else {
        if (!p.Has("--start") || !p.Has("--end"))
            return cli::UsageError(command, "--start and --end are needed");
        if (!ParseTime(p.Value("--start"), startMs) || !ParseTime(p.Value("--end"), endMs)) {
            return cli::UsageError(command, "a time is written as 00:01:30.500, 1:30 or 90.5");
        }
        if (endMs <= startMs) return cli::UsageError(command, "--end must come after --start");
    }

    BatchSession session(page);
    if (!session.Open()) return 1;
    if (p.Has("--out") && !session.UseOutputFolder(p.Value("--out"))) return 2;
    session.AddFiles(p.files);
    const std::wstring source = session.Inputs().front();
    if (session.Accepted(source)) {
        const MediaFacts facts = FactsOf(source);
        std::wstring folder, name, ext;
        CCommon::OnSplitPath(source, &folder, &name, &ext);
        if (p.Has("--name")) name = W(p.Value("--name"));
        std::vector<SegmentRange> ranges;
        if (page == CMainFrameWnd::kPageExtract) {
            ext = L".MP3";
            ranges.push_back({startMs, std::min(endMs, std::max(facts.durationMs, startMs + 1))});
        } else {
            ext = CMainFrameWnd::SegmentExtension(source);
            if (method == CMainFrameWnd::kCutManual)
                endMs = std::min(endMs, std::max(facts.durationMs, startMs + 1));
            ranges = CMainFrameWnd::CutSegments(method, facts.durationMs, startMs, endMs, parts, lengthMs);
        }
        AddSegments(session, page, source, name, ext, ranges);
    }
    auto outputOf = [](CControlUI* row) { return UserDataOf(row, L"btn_openfileout"); };
    session.Run(outputOf);
    return Print(session.Reports(outputOf, nullptr), p.Has("--json"));
}

int RunCut(const Args& args) {
    return RunSegments("cut", args, CMainFrameWnd::kPageCut);
}
int RunSplit(const Args& args) {
    return RunSegments("split", args, CMainFrameWnd::kPageCut);
}
int RunExtract(const Args& args) {
    return RunSegments("extract", args, CMainFrameWnd::kPageExtract);
}

// ---- merge ------------------------------------------------------------------------------------------

int RunMerge(const Args& args) {
    Parsed p;
    if (int rc = Parse("merge", args, {}, {}, p)) return rc;
    BatchSession session(CMainFrameWnd::kPageMerge);
    if (!session.Open()) return 1;
    if (p.Has("--out") && !session.UseOutputFolder(p.Value("--out"))) return 2;
    session.AddFiles(p.files);
    std::wstring merged;
    auto outputOf = [&merged](CControlUI*) { return merged; };
    session.Run(outputOf);
    CListUI* list = session.BatchList();
    if (list != nullptr && list->GetCount() > 0) merged = session.Wnd().Batch().MergeOutputPath();
    return Print(session.Reports(outputOf, nullptr), p.Has("--json"));
}

// ---- speed, volume ---------------------------------------------------------------------------------

// The slider position of each factor the page offers.
int RunMultiplier(const char* command, const Args& args, int page,
                  const std::vector<std::pair<std::string, int>>& steps) {
    Parsed p;
    if (int rc = Parse(command, args, {"--factor"}, {}, p)) return rc;
    std::vector<std::string> offered;
    for (const auto& s : steps) offered.push_back(s.first);
    if (!p.Has("--factor")) return cli::UsageError(command, "--factor is needed: " + Join(offered));
    int value = -1;
    const std::string factor = p.Value("--factor");
    char* end = nullptr;
    const double wanted = std::strtod(factor.c_str(), &end);
    for (const auto& s : steps) {
        if (end != nullptr && *end == '\0' && std::fabs(std::stod(s.first) - wanted) < 1e-9) value = s.second;
    }
    if (value < 0) return cli::UsageError(command, "--factor must be one of: " + Join(offered));

    BatchSession session(page);
    if (!session.Open()) return 1;
    if (p.Has("--out") && !session.UseOutputFolder(p.Value("--out"))) return 2;
    session.AddFiles(p.files);
    CListUI* list = session.BatchList();
    for (int i = 0; list != nullptr && i < list->GetCount(); ++i) {
        if (auto* slider = dynamic_cast<CSliderUI*>(Child(list->GetItemAt(i), L"sliderprogress"))) {
            slider->SetValue(value);
            session.Wnd().Tasks().OnSliderStep(slider);
        }
    }
    auto outputOf = [](CControlUI* row) { return UserDataOf(row, L"btn_openfile"); };
    session.Run(outputOf);
    return Print(session.Reports(outputOf, LabelFailed), p.Has("--json"));
}

int RunSpeed(const Args& args) {
    return RunMultiplier(
        "speed", args, CMainFrameWnd::kPageSpeed,
        {{"0.5", 0}, {"0.75", 25}, {"1.0", 50}, {"1.25", 75}, {"1.5", 100}, {"1.75", 125}, {"2.0", 150}});
}

int RunVolume(const Args& args) {
    return RunMultiplier(
        "volume", args, CMainFrameWnd::kPageVolume,
        {{"0.25", 0}, {"0.5", 25}, {"0.75", 50}, {"1.5", 75}, {"2.0", 100}, {"2.5", 125}, {"3.0", 150}});
}

// ---- noise ------------------------------------------------------------------------------------------

int RunNoise(const Args& args) {
    Parsed p;
    if (int rc = Parse("noise", args, {"--level", "--to"}, {}, p)) return rc;
    const std::string level = p.Value("--level");
    if (p.Has("--level") && level != "0" && level != "1" && level != "2") {
        return cli::UsageError("noise", "--level must be one of: 0, 1, 2");
    }
    const std::string to = Lower(p.Value("--to"));
    if (p.Has("--to") && to != "wav" && to != "mp3")
        return cli::UsageError("noise", "--to must be one of: wav, mp3");

    BatchSession session(CMainFrameWnd::kPageNoise);
    if (!session.Open()) return 1;
    if (p.Has("--out") && !session.UseOutputFolder(p.Value("--out"))) return 2;
    session.AddFiles(p.files);
    CListUI* list = session.BatchList();
    for (int i = 0; list != nullptr && i < list->GetCount(); ++i) {
        CControlUI* row = list->GetItemAt(i);
        if (auto* rank = dynamic_cast<CComboUI*>(Child(row, L"comboNoiseRank")); rank && !level.empty()) {
            rank->SelectItem(std::stoi(level));
        }
        if (auto* ext = dynamic_cast<CComboUI*>(Child(row, L"comboNoiseOutExt")); ext && !to.empty()) {
            for (int k = 0; k < ext->GetItemCount(); ++k) {
                if (Lower(N(ext->GetItemText(k))) == to) ext->SelectItem(k);
            }
        }
    }
    session.Driver().Pump();
    auto outputOf = [](CControlUI* row) { return UserDataOf(row, L"btn_listopenfile"); };
    session.Run(outputOf);
    return Print(session.Reports(outputOf, LabelFailed), p.Has("--json"));
}

// ---- background music --------------------------------------------------------------------------------

int RunBgm(const Args& args) {
    Parsed p;
    if (int rc = Parse("bgm", args, {"--music"}, {"--once"}, p)) return rc;
    if (!p.Has("--music")) return cli::UsageError("bgm", "--music FILE is needed");
    std::error_code ec;
    const std::wstring music =
        W(std::filesystem::absolute(std::filesystem::path(p.Value("--music")), ec).string());
    if (const std::string problem = cli::InputProblem(p.Value("--music")); !problem.empty()) {
        std::fprintf(stderr, "tonewright-cli: music file: %s: %s\n", problem.c_str(),
                     p.Value("--music").c_str());
        return 2;
    }

    BatchSession session(CMainFrameWnd::kPageBgm);
    if (!session.Open()) return 1;
    if (p.Has("--out") && !session.UseOutputFolder(p.Value("--out"))) return 2;
    session.AddFiles(p.files);
    // One music file for every row, chosen in the open-file dialog; the loop for every row.
    CListUI* list = session.BatchList();
    if (list != nullptr && list->GetCount() > 0) {
        // The open-file dialog answers with the music file.
        CCommon::SetOpenFilesHook([&music](void*, const std::wstring&, const std::wstring&,
                                           std::wstring* folder, std::vector<std::wstring>* names) {
            std::wstring name, ext;
            CCommon::OnSplitPath(music, folder, &name, &ext);
            names->assign(1, name + ext);
            return true;
        });
        if (CControlUI* all = session.Wnd().FindControl(L"btn_batchaddbgm")) {
            session.Wnd().Tasks().ChooseMusic(all, true);
        }
        CCommon::SetOpenFilesHook(nullptr);
        session.Driver().Pump();
        for (int i = 0; i < list->GetCount(); ++i) {
            CControlUI* button = Child(list->GetItemAt(i), L"btn_itemaddbgm");
            if (button != nullptr && button->GetUserData() != music) {
                std::fprintf(stderr, "tonewright-cli: the music could not be chosen for a row\n");
            }
        }
        session.Wnd().Tasks().SetLoopForAll(!p.Has("--once"));
        if (auto* loop = session.Wnd().FindControlAs<COptionUI>(L"OpIsLoop"))
            loop->Selected(!p.Has("--once"), false);
    }
    auto outputOf = [](CControlUI* row) { return UserDataOf(row, L"btn_openfile"); };
    session.Run(outputOf);
    return Print(session.Reports(outputOf, LabelFailed), p.Has("--json"));
}

}  // namespace

TW_CLI_COMMAND(
    "convert",
    "convert [--to mp3|wav|flac|aac|ogg] [--quality 128kb/s | --preset TITLE] [--channels same|mono|stereo] "
    "[--wav-bits 8|16|24|32] [--out DIR] [--json] FILE...",
    "convert audio files to another format", RunConvert);
TW_CLI_COMMAND("cut", "cut --start TIME --end TIME [--name NAME] [--out DIR] [--json] FILE",
               "cut one range out of a file", RunCut);
TW_CLI_COMMAND("split", "split (--parts 2..10 | --length TIME) [--out DIR] [--json] FILE",
               "split a file into even parts or parts of a length", RunSplit);
TW_CLI_COMMAND("extract", "extract --start TIME --end TIME [--name NAME] [--out DIR] [--json] VIDEO",
               "extract a range of a video's audio as MP3", RunExtract);
TW_CLI_COMMAND("merge", "merge [--out DIR] [--json] FILE...", "join files in the order given into one MP3",
               RunMerge);
TW_CLI_COMMAND("speed", "speed --factor 0.5|0.75|1.0|1.25|1.5|1.75|2.0 [--out DIR] [--json] FILE...",
               "change the speed of files", RunSpeed);
TW_CLI_COMMAND("volume", "volume --factor 0.25|0.5|0.75|1.5|2.0|2.5|3.0 [--out DIR] [--json] FILE...",
               "change the volume of files", RunVolume);
TW_CLI_COMMAND("noise", "noise [--level 0|1|2] [--to wav|mp3] [--out DIR] [--json] FILE...",
               "remove background noise", RunNoise);
TW_CLI_COMMAND("bgm", "bgm --music FILE [--once] [--out DIR] [--json] FILE...",
               "mix background music under files (looped, or once)", RunBgm);
