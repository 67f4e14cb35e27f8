#include "ui/OutputFormatWnd.h"

#include <mutex>
#include <thread>

#include "common/Common.h"
#include "platform/Platform.h"
#include "ui/CustomControls.h"
#include "ui/CustomFormatWnd.h"
#include "ui/RowLookup.h"
#include "uikit/UIBackend.h"
#include "uikit/UIBuilder.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControls.h"
#include "uikit/UIList.h"

namespace {

constexpr size_t kBuiltinRows = 4;
constexpr uint32_t kChangedColor = 0xFF347AEB;
constexpr uint32_t kNormalColor = 0xFF333333;

using rows::Child;
using rows::RowOf;

}  // namespace

// What the custom format thread shares with the dialog: the user presets it appends to, whether
// the dialog still exists, and the custom format dialog that is open.
struct COutputFormatWnd::Shared {
    mutable std::mutex mutex;
    std::vector<FormatPreset> userPresets;
    bool alive = true;
    CCustomFormatWnd* openCustom = nullptr;
    int running = 0;
};

const std::vector<std::wstring>& COutputFormatWnd::TypeTexts() {
    static const std::vector<std::wstring> types = {L"MP3", L"WAV", L"FLAC", L"AAC", L"OGG"};
    return types;
}

COutputFormatWnd::COutputFormatWnd(std::wstring openingQuality)
    : m_openingQuality(std::move(openingQuality)), m_shared(std::make_shared<Shared>()) {}

COutputFormatWnd::~COutputFormatWnd() {
    // A custom format thread that is still running must not touch this window any more.
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    m_shared->alive = false;
    if (m_shared->openCustom) m_shared->openCustom->Close(2);
}

std::vector<FormatPreset> COutputFormatWnd::GetUserPresets() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->userPresets;
}

std::vector<FormatPreset> COutputFormatWnd::GetRecentPresets() const {
    return m_recent;
}

std::wstring COutputFormatWnd::GetSelectedTypeText() const {
    const auto& types = TypeTexts();
    return m_typeIndex >= 0 && m_typeIndex < static_cast<int>(types.size()) ? types[m_typeIndex] : types[0];
}

bool COutputFormatWnd::IsCustomFlowRunning() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->running > 0;
}

CCustomFormatWnd* COutputFormatWnd::GetOpenCustomDialog() const {
    std::lock_guard<std::mutex> lock(m_shared->mutex);
    return m_shared->openCustom;
}

CListUI* COutputFormatWnd::List(const wchar_t* name) const {
    return FindControlAs<CListUI>(name);
}

void COutputFormatWnd::AddFormatRow(const FormatPreset& preset, bool removable,
                                    const std::wstring& detailData) {
    CListUI* list = List(L"list_audioformat");
    if (!list) return;
    CBuilderUI builder;
    CControlUI* row = builder.Create(L"listitemconfig.xml", this, this);
    if (!row) return;
    if (CControlUI* option = Child(row, L"opt_audiosource")) {
        option->SetText(preset.title);
        if (removable) option->SetUserData(preset.wavCodec);
    }
    if (CControlUI* detail = Child(row, L"detailinfo")) {
        detail->SetText(preset.detail);
        if (removable) {
            detail->SetUserData(detailData);
            detail->SetTag(static_cast<uint64_t>(static_cast<int64_t>(preset.channelMode)));
        }
    }
    if (CControlUI* remove = Child(row, L"btn_cfgRemovefile")) remove->SetVisible(removable);
    list->Add(row);
}

void COutputFormatWnd::AddRecentRow(const FormatPreset& preset) {
    CListUI* list = List(L"list_audiorecent");
    if (!list) return;
    CBuilderUI builder;
    CControlUI* row = builder.Create(L"listitemrecent.xml", this, this);
    if (!row) return;
    if (CControlUI* option = Child(row, L"opt_audiosource")) {
        option->SetText(preset.audioType);
        option->SetUserData(preset.wavCodec);
    }
    if (CControlUI* describe = Child(row, L"describle")) describe->SetText(preset.title);
    if (CControlUI* detail = Child(row, L"detailinfo")) {
        detail->SetText(preset.detail);
        detail->SetUserData(preset.encoderMode);
        detail->SetTag(static_cast<uint64_t>(static_cast<int64_t>(preset.channelMode)));
    }
    list->Add(row);
}

void COutputFormatWnd::InitWindow() {
    std::vector<FormatPreset> users = LoadFormatPresets();
    m_recent = LoadRecentPresets();
    SelectType(0);
    for (const FormatPreset& preset : BuiltinFormatPresets()) AddFormatRow(preset, false, L"");
    // Every preset row carries the preset's encoder mode as the detail's user data, so a pick
    // reads the same fields whatever the row's source.
    for (const FormatPreset& preset : users) AddFormatRow(preset, true, preset.encoderMode);
    for (const FormatPreset& preset : m_recent) AddRecentRow(preset);
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->userPresets = std::move(users);
    }
    m_dpi.ApplyScreenDpi();
}

void COutputFormatWnd::SelectType(int index) {
    CListUI* types = List(L"list_audiotype");
    if (!types || index < 0 || index >= types->GetCount()) return;
    m_typeIndex = index;
    if (types->GetCurSel() != index) types->SelectItem(index, false);
    if (auto* option = dynamic_cast<COptionUI*>(Child(types->GetItemAt(index), L"opt_audioType")))
        if (!option->IsSelected()) option->Selected(true, false);
    // Details of the form "quality,TYPE" follow the chosen type.
    const std::wstring type = GetSelectedTypeText();
    CListUI* formats = List(L"list_audioformat");
    if (!formats) return;
    for (int i = 0; i < formats->GetCount(); ++i) {
        CControlUI* detail = Child(formats->GetItemAt(i), L"detailinfo");
        if (!detail) continue;
        std::wstring text = detail->GetText();
        size_t comma = text.find(L',');
        if (comma == std::wstring::npos) continue;
        detail->SetText(text.substr(0, comma + 1) + type);
    }
}

void COutputFormatWnd::Pick(CListContainerElementUI* row) {
    if (!row || IsClosing() || row->GetOwnerList() != List(L"list_audioformat")) return;
    CControlUI* detail = Child(row, L"detailinfo");
    CControlUI* option = Child(row, L"opt_audiosource");
    if (!detail || !option) return;
    m_pickDetail = detail->GetText();
    m_pickDetailData = detail->GetUserData();
    m_pickChannels = static_cast<int32_t>(static_cast<int64_t>(detail->GetTag()));
    m_pickTitle = option->GetText();
    m_pickSourceData = option->GetUserData();
    m_pickQuality = m_pickDetail.substr(0, m_pickDetail.find(L','));
    m_pickType = GetSelectedTypeText();
    AddRecentPreset(m_recent, {m_pickType, m_pickTitle, m_pickDetail, m_pickDetailData, m_pickSourceData,
                               m_pickChannels});
    if (auto* opt = dynamic_cast<COptionUI*>(option))
        if (!opt->IsSelected()) opt->Selected(true, false);
    Close(1);
}

void COutputFormatWnd::RemoveUserPreset(CControlUI* button) {
    CListUI* list = List(L"list_audioformat");
    CListContainerElementUI* row = RowOf(button);
    if (!list || !row) return;
    int position = list->GetItemIndex(row);
    if (position < static_cast<int>(kBuiltinRows)) return;  // built-in rows cannot be removed
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        size_t index = static_cast<size_t>(position) - kBuiltinRows;
        if (index >= m_shared->userPresets.size()) return;
        m_shared->userPresets.erase(m_shared->userPresets.begin() + static_cast<std::ptrdiff_t>(index));
        SaveFormatPresets(m_shared->userPresets);
    }
    list->Remove(row);
}

void COutputFormatWnd::RemoveRecent(CControlUI* button) {
    CListUI* list = List(L"list_audiorecent");
    CListContainerElementUI* row = RowOf(button);
    if (!list || !row) return;
    int position = list->GetItemIndex(row);
    if (position < 0 || position >= static_cast<int>(m_recent.size())) return;
    m_recent.erase(m_recent.begin() + position);
    SaveRecentPresets(m_recent);
    list->Remove(row);
}

CControlUI* COutputFormatWnd::CreateControl(const std::wstring& tag) {
    return CreateCustomControl(tag);
}

void COutputFormatWnd::Notify(TNotifyUI& msg) {
    if (!msg.pSender) return;
    const std::wstring name = msg.pSender->GetName();
    if (msg.sType == L"click") {
        if (name == L"closebtn") {
            Close(2);
        } else if (name == L"opt_audioRecent" || name == L"opt_audioFormat") {
            if (auto* tab = FindControlAs<CTabLayoutUI>(L"tab_outfileext_Format"))
                tab->SelectItem(name == L"opt_audioRecent" ? 0 : 1);
        } else if (name == L"btn_cfgRemovefile") {
            RemoveUserPreset(msg.pSender);
        } else if (name == L"btn_Removefile") {
            RemoveRecent(msg.pSender);
        } else if (name == L"btn_custom") {
            StartCustomFlow();
        } else if (name == L"opt_audioType") {
            if (CListUI* types = List(L"list_audiotype")) SelectType(types->GetItemIndex(RowOf(msg.pSender)));
        } else if (name == L"opt_audiosource") {
            Pick(RowOf(msg.pSender));
        }
    } else if (msg.sType == L"selectchanged" && (name == L"opt_audioRecent" || name == L"opt_audioFormat")) {
        // Only the selected tab header keeps its accent underline, however it was selected.
        auto* box = dynamic_cast<CContainerUI*>(msg.pSender->GetParent());
        auto* option = dynamic_cast<COptionUI*>(msg.pSender);
        if (CControlUI* line = box && option ? box->FindSubControl(L"xxx") : nullptr)
            line->SetVisible(option->IsSelected());
    } else if (msg.sType == L"itemclick") {
        if (name == L"LC_audioType") {
            if (CListUI* types = List(L"list_audiotype")) SelectType(types->GetItemIndex(msg.pSender));
        } else if (name == L"LC_audioformat") {
            Pick(dynamic_cast<CListContainerElementUI*>(msg.pSender));
        }
    }
}

intptr_t COutputFormatWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    intptr_t result = m_dpi.HandleMessage(msg, wParam, lParam, handled);
    if (handled) return result;
    return CWindowUI::HandleMessage(msg, wParam, lParam, handled);
}

void COutputFormatWnd::StartCustomFlow() {
    ++m_customCounter;
    {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        ++m_shared->running;
    }
    std::thread(RunCustomFlow, m_shared, this, m_customCounter, m_typeIndex, GetSelectedTypeText(),
                m_openingQuality)
        .detach();
}

void COutputFormatWnd::RunCustomFlow(std::shared_ptr<Shared> shared, COutputFormatWnd* owner, int sequence,
                                     int typeIndex, std::wstring typeText, std::wstring openingQuality) {
    // Only one custom format dialog at a time: an open one is closed (as cancelled) first.
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->openCustom) shared->openCustom->Close(2);
    }
    auto dialog = std::make_unique<CCustomFormatWnd>(sequence, typeIndex);
    bool created = false;
    CAppUI::Invoke([&] {
        // On the UI thread, under the lock the owner's destructor takes: the owner exists here.
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (!shared->alive) return;
        created = dialog->Create(owner, CCustomFormatWnd::kCaption, 0, 0, CCustomFormatWnd::kWidth,
                                 CCustomFormatWnd::kHeight);
        if (created) {
            dialog->CenterWindow();
            shared->openCustom = dialog.get();
        }
    });
    int result = created ? dialog->ShowModal() : 2;
    if (result == 1) {
        FormatPreset preset;
        preset.audioType = typeText;
        preset.title = dialog->GetTitle();
        preset.detail = (typeText == L"WAV" ? openingQuality : dialog->GetBitRateText()) + L"," + typeText;
        preset.encoderMode = dialog->GetEncoderMode();
        preset.wavCodec = dialog->GetWavCodec();
        preset.channelMode = dialog->GetChannelMode();
        CAppUI::Invoke([&] {
            std::lock_guard<std::mutex> lock(shared->mutex);
            if (!shared->alive) return;
            owner->AddFormatRow(preset, true, preset.encoderMode);
            shared->userPresets.push_back(preset);
            SaveFormatPresets(shared->userPresets);
        });
    }
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        if (shared->openCustom == dialog.get()) shared->openCustom = nullptr;
    }
    dialog.reset();
    std::lock_guard<std::mutex> lock(shared->mutex);
    --shared->running;
}

namespace {

// Sets a label's text and user data; the text turns accent blue when it changed.
void SetChangedLabel(CControlUI* label, const std::wstring& text, const std::wstring& userData) {
    label->SetTextColor(text != label->GetText() ? kChangedColor : kNormalColor);
    label->SetUserData(userData);
    label->SetText(text);
}

}  // namespace

void OnOutputFormatForRow(CWindowUI* owner, CControlUI* formatOutExtButton) {
    if (!owner || !formatOutExtButton) return;
    std::wstring quality;
    if (CControlUI* current = owner->FindControl(L"outfilequality")) {
        quality = current->GetText();
        CCommon::OnStripPrefix(quality, L"质量：", quality);
    }
    COutputFormatWnd dialog(quality);
    if (!dialog.Create(owner, COutputFormatWnd::kCaption, 0, 0, COutputFormatWnd::kWidth,
                       COutputFormatWnd::kHeight))
        return;
    dialog.CenterWindow();
    if (dialog.ShowModal() != 1) return;

    CControlUI* parent = formatOutExtButton->GetParent();
    CControlUI* grand = parent ? parent->GetParent() : nullptr;
    auto* row = dynamic_cast<CListContainerElementUI*>(grand ? grand->GetParent() : nullptr);
    if (!row) return;
    const std::wstring type = platform::ToLower(dialog.GetTypeText());
    CControlUI* inExt = row->FindSubControl(L"inputfileext");
    CControlUI* outExt = row->FindSubControl(L"outfileext");
    CControlUI* inQuality = row->FindSubControl(L"inputfilequality");
    CControlUI* outQuality = row->FindSubControl(L"outfilequality");
    if (dialog.GetTitle() == BuiltinFormatPresets()[0].title) {
        // Same as the source: the output keeps the input's format and quality.
        if (inExt && outExt) {
            SetChangedLabel(outExt, inExt->GetText(), inExt->GetUserData());
            outExt->SetTag(inExt->GetTag());
        }
        if (inQuality && outQuality) outQuality->SetText(inQuality->GetText());
        return;
    }
    if (outExt) {
        SetChangedLabel(outExt, L"格式：" + type, dialog.GetDetailUserData());
        outExt->SetTag(static_cast<uint64_t>(static_cast<int64_t>(dialog.GetChannelMode())));
    }
    if (outQuality && !dialog.GetQualityText().empty())
        SetChangedLabel(outQuality, L"质量：" + dialog.GetQualityText(), dialog.GetSourceUserData());
}
