// Every layout of the program's skin rendered by the Qt backend (offscreen) at 100 % and 150 %
// into <build>/screenshots/<stem>_layout.png and <stem>_layout@150.png. Window layouts open as
// windows; row layouts (a control tag at the root) are shown three times in a list of a plain
// host window that declares the skin's fonts. Custom tags get the program's own controls.
// Besides the pictures, each run lists the texts that do not fit their controls
// (<stem>_layout_fit.txt) so that clipped Chinese text is found without looking for it.
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <QtTest/QTest>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "ui/CustomControls.h"
#include "uikit/UIlib.h"
#include "uikit/qt/QtBackend.h"
#include "uikit/qt/QtRender.h"
#include "uikit/qt/QtSurface.h"
#include "uikit_qt/QtTestSupport.h"

namespace {

using qttest::PumpAll;
using qttest::PumpUntil;
using qttest::ScreenshotFolder;

std::string Utf8(const std::wstring& s) {
    return platform::ToUtf8(s);
}

// The fonts every window of the skin declares, in the same order (skin/README.md).
const wchar_t* kHostFonts =
    L"<Font name=\"Noto Sans CJK SC\" size=\"13\" default=\"true\"/>"
    L"<Font name=\"Noto Sans CJK SC\" size=\"13\" bold=\"true\"/>"
    L"<Font name=\"Noto Sans CJK SC\" size=\"12\"/>"
    L"<Font name=\"Noto Sans CJK SC\" size=\"16\" bold=\"true\"/>"
    L"<Font name=\"Noto Sans CJK SC\" size=\"14\"/>";

void FillSampleRow(CControlUI* row, int index);

// A window of one skin layout, or (with `rowLayout`) a host whose list shows that row three times.
class CLayoutWnd : public CWindowUI {
public:
    CLayoutWnd(std::wstring layout, bool row) : m_layout(std::move(layout)), m_row(row) {}
    std::wstring GetWindowClassName() const override { return L"SkinLayoutWnd"; }
    std::wstring GetSkinFile() override { return m_row ? L"" : m_layout; }
    CControlUI* CreateControl(const std::wstring& tag) override { return CreateCustomControl(tag); }
    // As the program's windows do: an option that loses its selection hides the underline "xxx"
    // of its tab header.
    void Notify(TNotifyUI& msg) override {
        if (msg.sType != L"unselected" || !msg.pSender) return;
        if (auto* header = dynamic_cast<CContainerUI*>(msg.pSender->GetParent()))
            if (CControlUI* line = header->FindSubControl(L"xxx")) line->SetVisible(false);
    }

    // Builds the host tree for a row layout before Create; false when the row does not build.
    bool BuildRowHost(int width) {
        std::vector<CControlUI*> rows;
        m_rowHeight = 0;
        for (int i = 0; i < 3; ++i) {
            CBuilderUI rowBuilder;
            CControlUI* row = rowBuilder.Create(m_layout, this, nullptr);
            if (!row) break;
            m_rowHeight = std::max(m_rowHeight, row->GetFixedHeight() > 0 ? row->GetFixedHeight() : 56);
            FillSampleRow(row, i);
            rows.push_back(row);
        }
        CBuilderUI builder;
        const std::wstring xml =
            L"<Window size=\"" + std::to_wstring(width) + L"," + std::to_wstring(RowHostHeight()) + L"\">" +
            kHostFonts +
            L"<VerticalLayout bkcolor=\"#FFFFFFFF\">"
            L"<List name=\"host\" itembkcolor=\"#FFFFFFFF\" itemhotbkcolor=\"#FFFAFBFC\" "
            L"itemselectedbkcolor=\"#FFEAF1FD\"/></VerticalLayout></Window>";
        CControlUI* root = rows.size() == 3 ? builder.CreateFromText(xml, this, this) : nullptr;
        auto* rootContainer = dynamic_cast<CContainerUI*>(root);
        auto* list =
            rootContainer ? dynamic_cast<CContainerUI*>(rootContainer->FindSubControl(L"host")) : nullptr;
        if (!list) {
            for (CControlUI* row : rows) delete row;
            delete root;
            return false;
        }
        SetRoot(root);
        for (CControlUI* row : rows) list->Add(row);
        return true;
    }
    int RowHostHeight() const { return 3 * m_rowHeight; }

private:
    std::wstring m_layout;
    bool m_row;
    int m_rowHeight = 56;
};

struct Layout {
    std::wstring name;
    bool row = false;  // a control tag at the root: a list row or a fragment
    int width = 0;     // logical size of a window layout ("size")
    int height = 0;
};

std::vector<Layout> SkinLayouts() {
    std::vector<Layout> layouts;
    for (const auto& f : CSkinUI::ListFiles()) {
        if (f.size() < 5 || f.substr(f.size() - 4) != L".xml" || f.find(L'/') != std::wstring::npos) continue;
        std::string bytes;
        if (!CSkinUI::ReadFile(f, &bytes)) continue;
        pugi::xml_document doc;
        Layout l;
        l.name = f;
        if (doc.load_buffer(bytes.data(), bytes.size())) {
            const pugi::xml_node root = doc.document_element();
            l.row = std::string(root.name()) != "Window";
            const std::string size = root.attribute("size").value();
            if (!l.row && sscanf(size.c_str(), "%d,%d", &l.width, &l.height) != 2) l.width = l.height = 0;
        }
        layouts.push_back(l);
    }
    return layouts;
}

// Row layouts of the output format dialog sit in its narrower lists; the others in a main page.
int RowHostWidth(const std::wstring& layout) {
    if (layout == L"listitemconfig.xml" || layout == L"listitemrecent.xml") return 540;
    return 740;
}

// Texts wider than their control (single-line labels, buttons, options; edits excluded): one line
// per control, "name (class): text needs N px, has M px".
void ListTextsThatDoNotFit(CControlUI* control, int scalePercent, std::vector<std::string>* out) {
    if (!control || !control->IsVisible()) return;
    if (auto* container = dynamic_cast<CContainerUI*>(control)) {
        for (int i = 0; i < container->GetCount(); ++i)
            ListTextsThatDoNotFit(container->GetItemAt(i), scalePercent, out);
    }
    const std::wstring cls = control->GetClass();
    const bool texty = cls == L"LabelUI" || cls == L"ButtonUI" || cls == L"OptionUI" || cls == L"ButtonExtUI";
    const std::wstring text = control->GetText();
    if (!texty || text.empty() || control->GetAttribute(L"multiline") == L"true") return;
    const UIRect rc = control->GetPos();
    if (rc.right <= rc.left || rc.bottom <= rc.top) return;
    const QFontMetrics fm(CQtRenderUI::MakeFont(control->GetFontInfo(), scalePercent));
    const UIRect pad = control->GetTextPadding();
    const int available = rc.right - rc.left - (pad.left + pad.right) * scalePercent / 100;
    const int needed = fm.horizontalAdvance(UIToQString(text));
    const int height = rc.bottom - rc.top;
    if (needed > available || fm.height() > height + 2) {
        out->push_back(Utf8(control->GetName()) + " (" + Utf8(cls) + "): \"" + Utf8(text) + "\" needs " +
                       std::to_string(needed) + "x" + std::to_string(fm.height()) + " px, has " +
                       std::to_string(available) + "x" + std::to_string(height));
    }
}

// Pixels of the rectangle that differ clearly from its most frequent colour.
int Detail(const QImage& image) {
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) ++counts[image.pixel(x, y)];
    QRgb common = 0;
    int best = -1;
    for (const auto& [rgb, n] : counts)
        if (n > best) best = n, common = rgb;
    int detail = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - qRed(common)) + std::abs(qGreen(p) - qGreen(common)) +
                    std::abs(qBlue(p) - qBlue(common)) >
                60)
                ++detail;
        }
    return detail;
}

// Writes <name>_fit.txt with the texts of the window that do not fit their controls.
void WriteFitReport(CWindowUI* w, int scale, const std::string& name) {
    std::vector<std::string> misfits;
    ListTextsThatDoNotFit(w->GetRoot(), scale, &misfits);
    std::ofstream fit(ScreenshotFolder() + name + "_fit.txt", std::ios::trunc);
    for (const auto& m : misfits) fit << m << "\n";
    if (!misfits.empty())
        std::printf("%s: %zu texts do not fit (see %s_fit.txt)\n", name.c_str(), misfits.size(),
                    name.c_str());
}

struct ToolPage {
    const wchar_t* option;  // side-bar option
    const wchar_t* stem;    // empty-list picture "<stem>_1.png" / "<stem>_2.png"
    const wchar_t* list;
    const wchar_t* row;      // row layout
    const wchar_t* outList;  // segment list of the cut and extract pages
};

// The eight tool pages of the main window in page order.
const ToolPage kToolPages[] = {
    {L"opt_audiocut", L"audiocut", L"list_cutfile", L"listitemcut.xml", L"list_cutoutfile"},
    {L"opt_audioformat", L"audioformat", L"list_formatfile", L"listitemformat.xml", nullptr},
    {L"opt_audiomerge", L"audiomerge", L"list_mergefile", L"listitemmerge.xml", nullptr},
    {L"opt_audioextract", L"audioextract", L"list_extractfile", L"listitemcut.xml", L"list_extractoutfile"},
    {L"opt_audiospeed", L"audiospeed", L"list_speedfile", L"listitemspeed.xml", nullptr},
    {L"opt_audiovolume", L"audiovolume", L"list_volumefile", L"listitemspeed.xml", nullptr},
    {L"opt_audinoiseclear", L"audionoise", L"list_noisefile", L"listitemnoise.xml", nullptr},
    {L"opt_audinaddbgm", L"addbgm", L"list_addbgmfile", L"listitemaddbgm.xml", nullptr},
};

// Sample texts for the pictures of filled rows (only where the layout left a text empty).
void FillSampleRow(CControlUI* row, int index) {
    auto* container = dynamic_cast<CContainerUI*>(row);
    if (!container) return;
    const std::wstring n = std::to_wstring(index + 1);
    const std::pair<const wchar_t*, std::wstring> samples[] = {
        {L"filename", L"夜曲 Nocturne " + n + L".mp3"},
        {L"inputfile", L"夜曲 Nocturne " + n},
        {L"outfile", L"夜曲 Nocturne " + n + L"_1"},
        {L"filetime", L"时长：00:03:2" + n + L".480"},
        {L"inputfiletime", L"时长：00:03:2" + n + L".480"},
        {L"outfiletime", L"时长：00:03:2" + n + L".480"},
        {L"filesize", L"3.4" + n + L" MB"},
        {L"inputfilesize", L"大小：3.4" + n + L" MB"},
        {L"outfilesize", L"大小：3.4" + n + L" MB"},
        {L"inputfileext", L"格式：flac"},
        {L"outfileext", L"格式：mp3"},
        {L"inputfilequality", L"质量：920kb/s"},
        {L"outfilequality", L"质量：128kb/s"},
        {L"ProgressValue", L"4" + n + L"%"},
        {L"opt_audiosource", index == 0 ? L"与源文件相同" : L"高品质 " + n},
        {L"detailinfo", index == 0 ? L"与源文件相同" : L"32" + n + L"kb/s,MP3"},
        {L"describle", L"MP3 · 高品质"},
    };
    for (const auto& [name, text] : samples) {
        CControlUI* c = container->FindSubControl(name);
        if (c && c->GetText().empty()) c->SetText(text);
    }
    if (auto* progress = dynamic_cast<CProgressUI*>(container->FindSubControl(L"progress")))
        progress->SetValue(40 + index);
}

QImage Grab(CWindowUI* w) {
    PumpAll();
    return UIQtGrab(w);
}

bool Select(CWindowUI* w, const wchar_t* tab, int index) {
    auto* t = w->FindControlAs<CTabLayoutUI>(tab);
    return t && t->SelectItem(index);
}

// The tool view of the main window, page by page: empty (the page's picture inviting a click or a
// drop) as "main_page<p>_layout.png" and with three rows as "main_page<p>_rows_layout.png".
void RenderToolPages(CWindowUI* w, const std::string& suffix) {
    if (!Select(w, L"tab_switch", 1)) {
        ADD_FAILURE() << "main.xml has no tool view";
        return;
    }
    for (int p = 0; p < 8; ++p) {
        const ToolPage& page = kToolPages[p];
        SCOPED_TRACE("tool page " + std::to_string(p));
        Select(w, L"tab_outfileext_Audio", p);
        if (auto* option = w->FindControlAs<COptionUI>(page.option)) option->Selected(true);
        for (const wchar_t* name : {L"formatTypeName", L"comboformatType"})
            if (CControlUI* c = w->FindControl(name)) c->SetVisible(p == 1);
        if (CControlUI* c = w->FindControl(L"btn_batchaddbgm")) c->SetVisible(p == 7);
        Select(w, L"tab_AudioMidViewer", 0);
        if (CControlUI* add = w->FindControl(L"btn_addcadfile")) {
            const std::wstring stem = page.stem;
            add->SetAttribute(L"normalimage", L"file='" + stem + L"_1.png' dest='385,28,595,342'");
            add->SetAttribute(L"hotimage", L"file='" + stem + L"_2.png' dest='385,28,595,342'");
        }
        const QImage empty = Grab(w);
        EXPECT_TRUE(empty.save(QString::fromStdString(ScreenshotFolder() + "main_page" + std::to_string(p) +
                                                      "_layout" + suffix + ".png"),
                               "PNG"));
        EXPECT_GT(Detail(empty), 40);
        if (p == 1) {
            // The hot picture while the pointer is over the drop zone.
            if (CControlUI* add = w->FindControl(L"btn_addcadfile")) {
                w->InputMouseMove(add->GetPos().Center());
                const QImage hot = Grab(w);
                EXPECT_TRUE(hot.save(
                    QString::fromStdString(ScreenshotFolder() + "main_page1_hot_layout" + suffix + ".png"),
                    "PNG"));
                EXPECT_NE(hot, empty) << "the drop zone shows its hot picture";
                w->InputMouseLeave();
            }
        }

        for (const wchar_t* listName : {page.list, page.outList}) {
            if (!listName) continue;
            auto* list = w->FindControlAs<CContainerUI>(listName);
            if (!list) {
                ADD_FAILURE() << "no list " << Utf8(listName);
                continue;
            }
            const std::wstring rowLayout = listName == page.outList ? L"listitemcutout.xml" : page.row;
            list->RemoveAll();
            for (int i = 0; i < 3 && CSkinUI::HasFile(rowLayout); ++i) {
                CBuilderUI builder;
                CControlUI* row = builder.Create(rowLayout, w, nullptr);
                if (!row) break;
                FillSampleRow(row, i);
                list->Add(row);
            }
        }
        Select(w, L"tab_AudioMidViewer", 1);
        const QImage rows = Grab(w);
        WriteFitReport(w, w->GetDPI().GetDPI() * 100 / 96,
                       "main_page" + std::to_string(p) + "_rows_layout" + suffix);
        EXPECT_TRUE(rows.save(QString::fromStdString(ScreenshotFolder() + "main_page" + std::to_string(p) +
                                                     "_rows_layout" + suffix + ".png"),
                              "PNG"));
    }
}

// The message box shows one prepared panel per mode; each gets its own picture
// "message_<panel>_layout.png".
void RenderMessagePanels(CWindowUI* w, const std::string& suffix) {
    const wchar_t* panels[] = {L"VerUnKnowFile", L"VerExit", L"VerOtherMsg", L"VerFinishMsg"};
    for (const wchar_t* shown : panels) {
        if (!w->FindControl(shown)) continue;
        for (const wchar_t* panel : panels)
            if (CControlUI* c = w->FindControl(panel)) c->SetVisible(panel == shown);
        const QImage image = Grab(w);
        EXPECT_GT(Detail(image), 40) << Utf8(shown);
        const std::string name = "message_" + Utf8(shown) + "_layout" + suffix;
        EXPECT_TRUE(image.save(QString::fromStdString(ScreenshotFolder() + name + ".png"), "PNG"));
        WriteFitReport(w, w->GetDPI().GetDPI() * 100 / 96, name);
    }
}

// The output format dialog with presets and recent entries in its lists.
void RenderOutputFormatRows(CWindowUI* w, const std::string& suffix) {
    const std::pair<const wchar_t*, const wchar_t*> lists[] = {{L"list_audioformat", L"listitemconfig.xml"},
                                                               {L"list_audiorecent", L"listitemrecent.xml"}};
    for (const auto& [listName, rowLayout] : lists) {
        auto* list = w->FindControlAs<CContainerUI>(listName);
        if (!list || !CSkinUI::HasFile(rowLayout)) continue;
        for (int i = 0; i < 4; ++i) {
            CBuilderUI builder;
            CControlUI* row = builder.Create(rowLayout, w, nullptr);
            if (!row) break;
            FillSampleRow(row, i);
            list->Add(row);
        }
    }
    const QImage image = Grab(w);
    const std::string name = "outputformatWnd_rows_layout" + suffix;
    EXPECT_TRUE(image.save(QString::fromStdString(ScreenshotFolder() + name + ".png"), "PNG"));
    WriteFitReport(w, w->GetDPI().GetDPI() * 100 / 96, name);
}

void RenderEveryLayout(int dpi) {
    const auto layouts = SkinLayouts();
    if (layouts.empty()) GTEST_SKIP() << "no layout in the skin yet";
    qttest::Backend().SetScreenDpiOverride(dpi);
    const int scale = dpi * 100 / 96;
    const std::string suffix = dpi == 96 ? "" : "@" + std::to_string(scale);
    for (const Layout& l : layouts) {
        SCOPED_TRACE(Utf8(l.name));
        auto w = std::make_unique<CLayoutWnd>(l.name, l.row);
        int logicalW = l.width, logicalH = l.height;
        if (l.row) {
            logicalW = RowHostWidth(l.name);
            ASSERT_TRUE(w->BuildRowHost(logicalW)) << "the row builds";
            logicalH = w->RowHostHeight();
            ASSERT_TRUE(w->Create(nullptr, l.name, 0, 0, logicalW, logicalH));
        } else {
            ASSERT_TRUE(w->Create(nullptr, l.name)) << "the layout builds";
        }
        w->ShowWindow(true, false);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(UIQtSurface(w.get()), 3000));
        ASSERT_TRUE(PumpUntil([&] { return w->GetDPI().GetDPI() == dpi; }));
        // Animations (the busy frames, the preview GIF) hold still for the picture.
        std::vector<CControlUI*> stack{w->GetRoot()};
        while (!stack.empty()) {
            CControlUI* c = stack.back();
            stack.pop_back();
            if (auto* gif = dynamic_cast<CGifAnimUI*>(c)) gif->StopGif();
            if (auto* container = dynamic_cast<CContainerUI*>(c))
                for (int i = 0; i < container->GetCount(); ++i) stack.push_back(container->GetItemAt(i));
        }
        PumpAll();
        const QImage image = UIQtGrab(w.get());
        ASSERT_FALSE(image.isNull());
        const std::string stem = Utf8(l.name.substr(0, l.name.size() - 4));
        EXPECT_TRUE(image.save(
            QString::fromStdString(ScreenshotFolder() + stem + "_layout" + suffix + ".png"), "PNG"));
        if (logicalW > 0 && logicalH > 0) {
            EXPECT_EQ(image.width(), logicalW * scale / 100);
            EXPECT_EQ(image.height(), logicalH * scale / 100);
        }
        EXPECT_GT(Detail(image), 40) << "the layout draws something besides its background";

        WriteFitReport(w.get(), scale, stem + "_layout" + suffix);
        if (l.name == L"main.xml") RenderToolPages(w.get(), suffix);
        if (l.name == L"message.xml") RenderMessagePanels(w.get(), suffix);
        if (l.name == L"outputformatWnd.xml") RenderOutputFormatRows(w.get(), suffix);
        w.reset();
        PumpAll();
    }
    qttest::Backend().SetScreenDpiOverride(0);
    PumpAll();
}

}  // namespace

TEST(SkinScreenshots, EveryLayoutRendersAt100Percent) {
    RenderEveryLayout(96);
}

TEST(SkinScreenshots, EveryLayoutRendersAt150Percent) {
    RenderEveryLayout(144);
}

// The double-size twins are what a scaled window draws: at 150 % a tool tile is painted from
// tile_cut@2x.png, so its edge pixels are crisp rather than stretched from 56 pixels.
TEST(SkinScreenshots, ScaledPicturesUseTheirDoubleSizeTwin) {
    auto plain = CSkinUI::GetImage(L"tile_cut.png");
    auto twin = CSkinUI::GetImage(L"tile_cut@2x.png");
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(twin, nullptr);
    const auto decodedTwin = CQtRenderUI::Decode(twin);
    ASSERT_NE(decodedTwin, nullptr);
    QImage canvas(84, 84, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        CQtRenderUI render(painter);
        ASSERT_TRUE(render.DrawImage(plain, UIRect{0, 0, 84, 84}, UIRect{0, 0, 56, 56}, UIRect{}, 255, false,
                                     false, false));
    }
    // Compared with the plain picture and the twin, each scaled straight to 84 pixels, the
    // result must be the twin's.
    const auto decodedPlain = CQtRenderUI::Decode(plain);
    ASSERT_NE(decodedPlain, nullptr);
    const QImage fromTwin =
        decodedTwin->frames[0].scaled(84, 84, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage fromPlain =
        decodedPlain->frames[0].scaled(84, 84, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto distance = [&](const QImage& other) {
        long sum = 0;
        for (int y = 0; y < 84; ++y)
            for (int x = 0; x < 84; ++x) {
                const QColor a = canvas.pixelColor(x, y), b = other.pixelColor(x, y);
                sum += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                       std::abs(a.blue() - b.blue()) + std::abs(a.alpha() - b.alpha());
            }
        return sum;
    };
    const long toTwin = distance(fromTwin), toPlain = distance(fromPlain);
    EXPECT_LT(toTwin * 2, toPlain) << "drawn from the @2x twin (distance " << toTwin << " vs " << toPlain
                                   << ")";
}

// The generator's own GIF encoder: Qt decodes every frame of both sizes whole, and the bars move.
TEST(SkinScreenshots, PreviewAnimationDecodesEveryFrame) {
    for (const auto& [name, scale] : {std::pair{L"playing.gif", 1}, std::pair{L"playing@2x.gif", 2}}) {
        SCOPED_TRACE(Utf8(name));
        auto gif = CSkinUI::GetImage(name);
        ASSERT_NE(gif, nullptr);
        const auto decoded = CQtRenderUI::Decode(gif);
        ASSERT_NE(decoded, nullptr);
        ASSERT_EQ(static_cast<int>(decoded->frames.size()), gif->frameCount);
        ASSERT_GE(decoded->frames.size(), 8u);
        for (const QImage& frame : decoded->frames) EXPECT_EQ(frame.size(), QSize(635 * scale, 250 * scale));
        EXPECT_NE(decoded->frames[0], decoded->frames[decoded->frames.size() / 2]) << "the bars move";
        // Slate in the corner, accent in a bar near the middle of the first frame's base line.
        const QColor corner = decoded->frames[0].pixelColor(2, 2);
        EXPECT_LT(corner.red(), 0x40);
        EXPECT_LT(corner.blue(), 0x60);
        int accent = 0;
        const QImage& first = decoded->frames[0];
        for (int x = 0; x < first.width(); ++x) {
            const QColor c = first.pixelColor(x, 160 * scale);
            if (c.blue() > 0xC0 && c.red() < 0x80) ++accent;
        }
        EXPECT_GT(accent, first.width() / 3) << "bars stand on the base line";
    }
}

int main(int argc, char** argv) {
    return qttest::RunQtTests(argc, argv);
}
