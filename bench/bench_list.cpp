// A long task list in the UI library, headless: appending rows, one layout pass, one wheel notch
// with its layout and paint, and a hover over a row. The window is 900 x 590 with about eight
// 70-pixel rows of 16 controls in view, as in the main window's task list.
//
// Prints: RESULT list rows=N append_ms=… layout_ms=… notch_ms=… hover_ms=… label_ms=…
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIHeadless.h"
#include "uikit/UIlib.h"

namespace {

// Draws nothing: the timings are those of the library's walk over the tree.
class CNullRenderUI : public IRenderUI {
public:
    void FillRect(const UIRect&, uint32_t) override { ++calls; }
    void DrawRect(const UIRect&, int, uint32_t) override { ++calls; }
    void DrawRoundRect(const UIRect&, int, int, int, uint32_t) override { ++calls; }
    void FillRoundRect(const UIRect&, int, int, uint32_t) override { ++calls; }
    void DrawLine(UIPoint, UIPoint, int, uint32_t) override { ++calls; }
    bool DrawImage(const std::shared_ptr<TImageDataUI>&, const UIRect&, const UIRect&, const UIRect&, uint8_t,
                   bool, bool, bool, int) override {
        ++calls;
        return true;
    }
    void DrawText(const std::wstring&, const UIRect&, const TFontUI&, uint32_t, uint32_t, int) override {
        ++calls;
    }
    UISize MeasureText(const std::wstring& text, const TFontUI&, int) override {
        return UISize{static_cast<int>(text.size()) * 7, 16};
    }
    void PushClip(const UIRect&) override {}
    void PopClip() override {}
    long calls = 0;
};

class CBenchWnd : public CWindowUI {
public:
    std::wstring GetWindowClassName() const override { return L"BenchWnd"; }
    std::wstring GetSkinFile() override { return L""; }
};

// A task row of 16 controls: name and facts, a progress bar, a few buttons and labels.
CListContainerElementUI* MakeRow(int n) {
    auto* row = new CListContainerElementUI;
    row->SetFixedHeight(70);
    row->SetChildPadding(6);
    auto add = [](CContainerUI* parent, CControlUI* c, int width, int height, const std::wstring& text) {
        if (width) c->SetFixedWidth(width);
        if (height) c->SetFixedHeight(height);
        c->SetText(text);
        parent->Add(c);
        return c;
    };
    add(row, new CControlUI, 40, 40, L"");  // icon
    auto* facts = new CVerticalLayoutUI;
    row->Add(facts);
    add(facts, new CLabelUI, 0, 20, L"file " + std::to_wstring(n) + L".mp3");
    add(facts, new CLabelUI, 0, 16, L"00:03:25  4.7 MB  44100 Hz");
    add(facts, new CLabelUI, 0, 16, L"MP3 320 kbps");
    auto* state = new CVerticalLayoutUI;
    state->SetFixedWidth(200);
    row->Add(state);
    add(state, new CProgressUI, 0, 8, L"");
    add(state, new CLabelUI, 0, 16, L"Waiting");
    auto* buttons = new CHorizontalLayoutUI;
    buttons->SetFixedWidth(160);
    row->Add(buttons);
    for (int i = 0; i < 4; ++i) add(buttons, new CButtonUI, 32, 32, L"b");
    add(row, new CLabelUI, 60, 0, L"ready");
    return row;
}

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename Fn>
double BestMs(int runs, Fn fn) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        fn(i);
        best = std::min(best, Ms(std::chrono::steady_clock::now() - start));
    }
    return best;
}

void RunOne(CHeadlessBackendUI& backend, int rows) {
    CBuilderUI builder;
    auto* root = builder.CreateFromText(L"<VerticalLayout><List name=\"list\"/></VerticalLayout>", nullptr);
    CBenchWnd wnd;
    wnd.SetRoot(root);
    if (!wnd.Create(nullptr, L"bench", 0, 0, 900, 590)) {
        std::printf("window not created\n");
        return;
    }
    backend.Pump();
    auto* list = dynamic_cast<CListUI*>(wnd.FindControl(L"list"));

    std::vector<CListContainerElementUI*> made;
    made.reserve(rows);
    for (int i = 0; i < rows; ++i) made.push_back(MakeRow(i));
    auto start = std::chrono::steady_clock::now();
    for (auto* row : made) list->Add(row);
    const double appendMs = Ms(std::chrono::steady_clock::now() - start);

    CNullRenderUI render;
    const double layoutMs = BestMs(5, [&](int) {
        wnd.NeedUpdate();
        wnd.UpdateLayout();
    });
    // Scroll to the middle first, so that a notch moves every row below the top.
    list->SetScrollPos({0, list->GetScrollRange().cy / 2});
    wnd.Paint(render);
    const UIPoint mid{450, 300};
    const double notchMs = BestMs(10, [&](int i) {
        wnd.InputMouseWheel(mid, i % 2 ? 120 : -120);
        wnd.Paint(render);
    });
    // A hover moves between two rows: the hot row changes every time.
    const double hoverMs = BestMs(10, [&](int i) { wnd.InputMouseMove(UIPoint{850, i % 2 ? 150 : 360}); });
    // A label of a visible row changes its text, then the window is painted.
    CControlUI* label = wnd.FindControl(UIPoint{100, 300});
    const double labelMs = BestMs(10, [&](int i) {
        if (label) label->SetText(L"Converting " + std::to_wstring(i) + L" %");
        wnd.Paint(render);
    });
    std::printf(
        "RESULT list rows=%d append_ms=%.2f layout_ms=%.3f notch_ms=%.3f hover_ms=%.4f label_ms=%.3f\n", rows,
        appendMs, layoutMs, notchMs, hoverMs, labelMs);
    std::fflush(stdout);
    wnd.Close();
    backend.Pump();
}

}  // namespace

int main() {
    CHeadlessBackendUI backend(true);
    CAppUI::SetBackend(&backend);
    for (int rows : {1000, 10000}) RunOne(backend, rows);
    CAppUI::SetBackend(nullptr);
    return 0;
}
