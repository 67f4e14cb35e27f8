// The output format dialog ("outputformatWnd.xml"): the user picks an output type (MP3, WAV,
// FLAC, AAC, OGG) and a preset from the built-in and user presets, views and removes recent picks
// and user presets, and creates presets in the custom format dialog, which runs on a thread of
// its own while this dialog stays responsive. Result 1: a preset was picked (read the Get…
// values); 2: closed without a choice.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/FormatPresets.h"
#include "ui/DialogDpi.h"
#include "uikit/UIWindow.h"

class CControlUI;
class CListUI;
class CListContainerElementUI;
class CCustomFormatWnd;

class COutputFormatWnd : public CWindowUI {
public:
    static constexpr wchar_t kCaption[] = L"音频编辑";
    static constexpr int kWidth = 720, kHeight = 530;

    // `openingQuality`: the quality the main window shows, without its "质量：" prefix; a WAV
    // preset created here takes it as its quality.
    explicit COutputFormatWnd(std::wstring openingQuality);
    ~COutputFormatWnd() override;

    // The pick (valid after result 1).
    std::wstring GetTypeText() const { return m_pickType; }
    std::wstring GetTitle() const { return m_pickTitle; }
    std::wstring GetDetail() const { return m_pickDetail; }
    std::wstring GetQualityText() const { return m_pickQuality; }        // `detail` before its first ","
    std::wstring GetDetailUserData() const { return m_pickDetailData; }  // the preset's encoder mode
    std::wstring GetSourceUserData() const { return m_pickSourceData; }  // the preset's WAV codec
    int32_t GetChannelMode() const { return m_pickChannels; }

    // The lists as they are now (the user presets may grow from the custom format thread).
    std::vector<FormatPreset> GetUserPresets() const;
    std::vector<FormatPreset> GetRecentPresets() const;
    int GetSelectedTypeIndex() const { return m_typeIndex; }
    std::wstring GetSelectedTypeText() const;

    // Starts the custom format flow on a thread of its own and returns at once ("btn_custom").
    void StartCustomFlow();
    // True while a custom format flow is still running (its dialog open or its result being added).
    bool IsCustomFlowRunning() const;
    // The custom format dialog that is open now, or nullptr.
    CCustomFormatWnd* GetOpenCustomDialog() const;

    std::wstring GetWindowClassName() const override { return L"OutputFormatWnd"; }
    std::wstring GetSkinFile() override { return L"outputformatWnd.xml"; }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    // The tab headers are underlined tab headers of the program's own controls.
    CControlUI* CreateControl(const std::wstring& tag) override;
    intptr_t HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) override;

    // The type texts of the type list, in order.
    static const std::vector<std::wstring>& TypeTexts();

private:
    struct Shared;

    CListUI* List(const wchar_t* name) const;
    void AddFormatRow(const FormatPreset& preset, bool removable, const std::wstring& detailData);
    void AddRecentRow(const FormatPreset& preset);
    void SelectType(int index);
    void Pick(CListContainerElementUI* row);
    void RemoveUserPreset(CControlUI* button);
    void RemoveRecent(CControlUI* button);
    static void RunCustomFlow(std::shared_ptr<Shared> shared, COutputFormatWnd* owner, int sequence,
                              int typeIndex, std::wstring typeText, std::wstring openingQuality);

    std::wstring m_openingQuality;
    std::shared_ptr<Shared> m_shared;
    std::vector<FormatPreset> m_recent;
    int m_typeIndex = 0;
    int m_customCounter = 0;
    std::wstring m_pickType, m_pickTitle, m_pickDetail, m_pickQuality, m_pickDetailData, m_pickSourceData;
    int32_t m_pickChannels = 0;
    CDialogDpi m_dpi{this};
};

// Runs the output format dialog for one row of the format page, then writes the pick into that
// row: `formatOutExtButton` is the row's "formatoutext" button (the row is the list element three
// levels above it). The opening quality comes from the first "outfilequality" of `owner`. Meant
// for a thread of its own; the dialog runs modally on the UI thread meanwhile.
void OnOutputFormatForRow(CWindowUI* owner, CControlUI* formatOutExtButton);
