// The control model without windows: colours, attributes, containers, the skin archive and the
// XML builder.
#include <gtest/gtest.h>

#include "UiFixture.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

TEST(UiModel, ColoursParseAsArgb) {
    uint32_t c = 0;
    ASSERT_TRUE(UIParseColor(L"#FFF1707A", &c));
    EXPECT_EQ(c, 0xFFF1707Au);
    ASSERT_TRUE(UIParseColor(L"#347AEB", &c));
    EXPECT_EQ(c, 0xFF347AEBu);  // six digits are opaque
    ASSERT_TRUE(UIParseColor(L"0x00000001", &c));
    EXPECT_EQ(c, 1u);
    c = 7;
    EXPECT_FALSE(UIParseColor(L"#GG0000", &c));
    EXPECT_FALSE(UIParseColor(L"", &c));
    EXPECT_FALSE(UIParseColor(L"#1FFFFFFFFF", &c));
    EXPECT_EQ(c, 7u);  // untouched on failure
    EXPECT_EQ(UIFormatColor(0xFF7ED321), L"#FF7ED321");
}

TEST(UiModel, AttributesSetPropertiesByName) {
    CButtonUI b;
    b.SetAttribute(L"name", L"btn");
    b.SetAttribute(L"float", L"true");
    b.SetAttribute(L"pos", L"78,12,80,30");
    b.SetAttribute(L"bkcolor", L"#FF347AEB");
    b.SetAttribute(L"textcolor", L"#FFF1707A");
    b.SetAttribute(L"textpadding", L"40,0");
    b.SetAttribute(L"normalimage", L"file='audiocut_1.png' dest='385,28,595,342'");
    b.SetAttribute(L"hotimage", L"file='audiocut_2.png' dest='385,28,595,342'");
    b.SetAttribute(L"visible", L"false");
    b.SetAttribute(L"tooltip", L"tip");
    b.SetAttribute(L"userdata", L"/tmp/a b.mp3");
    b.SetAttribute(L"tag", L"12345678901");
    b.SetAttribute(L"someCustom", L"value");
    EXPECT_EQ(b.GetName(), L"btn");
    EXPECT_TRUE(b.IsFloat());
    EXPECT_EQ(b.GetFloatPos(), (UIRect{78, 12, 80, 30}));
    EXPECT_EQ(b.GetFixedWidth(), 2);
    EXPECT_EQ(b.GetFixedHeight(), 18);
    EXPECT_EQ(b.GetBkColor(), 0xFF347AEBu);
    EXPECT_EQ(b.GetTextColor(), 0xFFF1707Au);
    EXPECT_EQ(b.GetTextPadding(), (UIRect{40, 0, 0, 0}));
    EXPECT_EQ(b.GetNormalImage(), L"file='audiocut_1.png' dest='385,28,595,342'");
    EXPECT_EQ(b.GetHotImage(), L"file='audiocut_2.png' dest='385,28,595,342'");
    EXPECT_FALSE(b.IsVisible());
    EXPECT_EQ(b.GetToolTip(), L"tip");
    EXPECT_EQ(b.GetUserData(), L"/tmp/a b.mp3");
    EXPECT_EQ(b.GetTag(), 12345678901ull);
    EXPECT_EQ(b.GetAttribute(L"somecustom"), L"value");
    EXPECT_EQ(b.GetAttribute(L"pos"), L"78,12,80,30");
    // A malformed colour leaves the property alone.
    b.SetAttribute(L"bkcolor", L"blue");
    EXPECT_EQ(b.GetBkColor(), 0xFF347AEBu);

    CProgressUI p;
    p.ApplyAttributeList(L"max=\"150\" value='75' forecolor=\"#FFF1707A\"");
    EXPECT_EQ(p.GetMaxValue(), 150);
    EXPECT_EQ(p.GetValue(), 75);
    EXPECT_EQ(p.GetForeColor(), 0xFFF1707Au);
    p.SetValue(400);
    EXPECT_EQ(p.GetValue(), 150);  // clamped
}

TEST(UiModel, ImageAttributeParsing) {
    TImageAttrUI a = TImageAttrUI::Parse(
        L"file='btnPause_01.png' dest='1,2,3,4' source='0,0,10,10' "
        L"corner='2,2,2,2' fade='128' xtiled='true'");
    EXPECT_EQ(a.file, L"btnPause_01.png");
    EXPECT_EQ(a.dest, (UIRect{1, 2, 3, 4}));
    EXPECT_EQ(a.source, (UIRect{0, 0, 10, 10}));
    EXPECT_EQ(a.corner, (UIRect{2, 2, 2, 2}));
    EXPECT_EQ(a.fade, 128);
    EXPECT_TRUE(a.xtiled);
    EXPECT_FALSE(a.ytiled);
    EXPECT_EQ(TImageAttrUI::Parse(L"BkStatic.png").file, L"BkStatic.png");
    EXPECT_TRUE(TImageAttrUI::Parse(L"").IsEmpty());
}

TEST(UiModel, ContainerAddRemoveAndLookup) {
    CVerticalLayoutUI box;
    auto* a = new CLabelUI;
    a->SetName(L"a");
    auto* b = new CHorizontalLayoutUI;
    b->SetName(L"b");
    auto* inner = new CButtonUI;
    inner->SetName(L"inner");
    b->Add(inner);
    auto* c = new CLabelUI;
    c->SetName(L"c");
    EXPECT_TRUE(box.Add(a));
    EXPECT_TRUE(box.Add(c));
    EXPECT_TRUE(box.AddAt(b, 1));
    EXPECT_FALSE(box.Add(a));  // already a child
    CLabelUI stray;
    EXPECT_FALSE(box.AddAt(&stray, 9));  // index out of range
    EXPECT_EQ(box.GetCount(), 3);
    EXPECT_EQ(box.GetItemAt(1), b);
    EXPECT_EQ(box.GetItemIndex(c), 2);
    EXPECT_EQ(box.FindSubControl(L"inner"), inner);
    EXPECT_EQ(box.FindSubControl(L"nothing"), nullptr);
    EXPECT_EQ(inner->GetParent(), b);
    EXPECT_EQ(b->GetParent(), &box);
    EXPECT_TRUE(box.RemoveAt(0));
    EXPECT_EQ(box.GetCount(), 2);
    EXPECT_EQ(box.GetItemAt(0), b);
    EXPECT_FALSE(box.RemoveAt(5));
    EXPECT_TRUE(box.Remove(c));
    EXPECT_EQ(box.GetItemIndex(c), -1);
    box.RemoveAll();
    EXPECT_EQ(box.GetCount(), 0);
    EXPECT_EQ(box.GetItemAt(0), nullptr);
}

TEST(UiModel, ImageHeadersGiveSizeAndGifFrames) {
    TImageDataUI png;
    png.bytes = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\x2c\0\0\0\x32", 24);
    CSkinUI::ReadImageHeader(&png);
    EXPECT_EQ(png.width, 300);
    EXPECT_EQ(png.height, 50);

    // Two frames of a 2x1 GIF with 10 and 20 hundredths of a second.
    std::string gif = std::string("GIF89a\x02\x00\x01\x00\x00\x00\x00", 13);
    for (int delay : {10, 20}) {
        gif += std::string("\x21\xF9\x04\x00", 4) + static_cast<char>(delay) + std::string("\x00\x00\x00", 3);
        gif += std::string("\x2C\x00\x00\x00\x00\x02\x00\x01\x00\x00", 10);
        gif += std::string("\x02\x02\x44\x01\x00", 5);
    }
    gif += "\x3B";
    TImageDataUI g;
    g.bytes = gif;
    CSkinUI::ReadImageHeader(&g);
    EXPECT_EQ(g.width, 2);
    EXPECT_EQ(g.height, 1);
    EXPECT_EQ(g.frameCount, 2);
    EXPECT_EQ(g.frameDelaysMs, (std::vector<int>{100, 200}));

    TImageDataUI junk;
    junk.bytes = "GIF89a";  // truncated: no crash, no size
    CSkinUI::ReadImageHeader(&junk);
    EXPECT_EQ(junk.frameCount, 1);
}

TEST(UiSkin, EmbeddedArchiveServesLayoutsInMemory) {
    ASSERT_TRUE(CSkinUI::LoadEmbedded());
    auto files = CSkinUI::ListFiles();
    EXPECT_NE(std::find(files.begin(), files.end(), L"controls.xml"), files.end());
    std::string bytes;
    EXPECT_TRUE(CSkinUI::ReadFile(L"dialog.xml", &bytes));
    EXPECT_NE(bytes.find("btn_ok"), std::string::npos);
    EXPECT_TRUE(CSkinUI::HasFile(L"DIALOG.XML"));  // case-insensitive fallback
    EXPECT_TRUE(CSkinUI::HasFile(L"\\dialog.xml"));
    EXPECT_FALSE(CSkinUI::HasFile(L"../dialog.xml"));
    EXPECT_FALSE(CSkinUI::ReadFile(L"missing.xml", &bytes));
    EXPECT_EQ(CSkinUI::GetImage(L"missing.png"), nullptr);

    // Garbage is refused and the loaded skin stays.
    const char junk[] = "this is not a zip archive";
    EXPECT_FALSE(CSkinUI::LoadZipFromMemory(junk, sizeof junk));
    EXPECT_FALSE(CSkinUI::LoadZipFromMemory(nullptr, 0));
    EXPECT_TRUE(CSkinUI::HasFile(L"dialog.xml"));
}

TEST_F(UiTest, BuilderMakesStandardAndCustomControls) {
    auto w = Open(L"controls.xml");
    EXPECT_EQ(w->inits, 1);
    EXPECT_EQ(Count(w->notes, L"windowinit:root"), 1u);
    EXPECT_EQ(w->GetInitSize(), (UISize{600, 400}));
    EXPECT_EQ(w->GetClientSize(), (UISize{600, 400}));
    EXPECT_EQ(w->FindControl(L"btn")->GetClass(), L"ButtonUI");
    EXPECT_EQ(w->FindControl(L"optA")->GetClass(), L"OptionUI");
    EXPECT_EQ(w->FindControl(L"list")->GetClass(), L"ListUI");
    EXPECT_EQ(w->FindControl(L"tabs")->GetClass(), L"TabLayoutUI");
    ASSERT_NE(w->FindControl(L"custom"), nullptr);
    EXPECT_EQ(w->FindControl(L"custom")->GetClass(), L"CustomBoxUI");
    // An unknown tag and its children are skipped.
    EXPECT_EQ(w->FindControl(L"skipped"), nullptr);
    EXPECT_EQ(w->FindControl(L"insideMystery"), nullptr);

    auto* combo = w->FindControlAs<CComboUI>(L"combo");
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetItemCount(), 3);
    EXPECT_EQ(combo->GetCurSel(), 0);
    EXPECT_EQ(combo->GetText(), L"2");
    EXPECT_EQ(combo->GetItemUserData(2), L"four");
    auto* tabs = w->FindControlAs<CTabLayoutUI>(L"tabs");
    EXPECT_EQ(tabs->GetCurSel(), 1);  // "selectedid" given before the pages
    EXPECT_TRUE(w->FindControl(L"page1btn")->IsVisible());
    EXPECT_FALSE(w->FindControl(L"page0")->IsVisible());
    auto* anim = w->FindControlAs<CFrameAnimUI>(L"gif_conver");
    EXPECT_EQ(anim->GetFrameCount(), 7);
    EXPECT_EQ(anim->GetInterval(), 50);
    EXPECT_TRUE(anim->IsLoop());
    EXPECT_EQ(anim->GetFrameFile(0), L"conver/1.png");
}

TEST_F(UiTest, BuilderReportsMissingAndBrokenLayouts) {
    CBuilderUI builder;
    EXPECT_EQ(builder.Create(L"nothere.xml"), nullptr);
    EXPECT_NE(builder.GetLastError().find(L"nothere.xml"), std::wstring::npos);
    EXPECT_EQ(builder.Create(L"broken.xml"), nullptr);
    EXPECT_FALSE(builder.GetLastError().empty());
    // A window whose layout cannot be built is not created.
    CTestWnd w(L"broken.xml");
    EXPECT_FALSE(w.Create(nullptr, L"x"));
    EXPECT_FALSE(w.IsCreated());

    std::unique_ptr<CControlUI> row(builder.Create(L"row.xml"));
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->GetClass(), L"ListContainerElementUI");
    auto* element = dynamic_cast<CContainerUI*>(row.get());
    ASSERT_NE(element, nullptr);
    EXPECT_NE(element->FindSubControl(L"btn_Removefile"), nullptr);

    std::unique_ptr<CControlUI> fromText(
        builder.CreateFromText(L"<HorizontalLayout><Label name=\"x\" text=\"文字\"/></HorizontalLayout>"));
    ASSERT_NE(fromText, nullptr);
    EXPECT_EQ(dynamic_cast<CContainerUI*>(fromText.get())->FindSubControl(L"x")->GetText(), L"文字");
}

TEST_F(UiTest, GifControlStepsThroughFramesWithTheirDelays) {
    // A skin folder on disk with a two-frame GIF (100 ms, then 200 ms).
    testsupport::TempDir dir;
    std::string gif = std::string("GIF89a\x02\x00\x01\x00\x00\x00\x00", 13);
    for (int delay : {10, 20}) {
        gif += std::string("\x21\xF9\x04\x00", 4) + static_cast<char>(delay) + std::string("\x00\x00\x00", 3);
        gif += std::string("\x2C\x00\x00\x00\x00\x02\x00\x01\x00\x00", 10);
        gif += std::string("\x02\x02\x44\x01\x00", 5);
    }
    gif += "\x3B";
    std::string layout;
    ASSERT_TRUE(CSkinUI::ReadFile(L"controls.xml", &layout));
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"playing.gif"), gif));
    ASSERT_TRUE(platform::WriteFileBytes(dir.WFile(L"controls.xml"), layout));
    ASSERT_TRUE(CSkinUI::LoadFolder(dir.WPath()));
    EXPECT_FALSE(CSkinUI::HasFile(L"../controls.xml"));

    auto w = Open(L"controls.xml");
    auto* gifCtl = w->FindControlAs<CGifAnimUI>(L"gif");
    EXPECT_EQ(gifCtl->GetFrameCount(), 2);
    EXPECT_FALSE(gifCtl->IsPlaying());  // autoplay="false"
    gifCtl->PlayGif();
    driver->AdvanceTime(99);
    EXPECT_EQ(gifCtl->GetCurrentFrame(), 0);
    driver->AdvanceTime(1);
    EXPECT_EQ(gifCtl->GetCurrentFrame(), 1);
    driver->AdvanceTime(199);
    EXPECT_EQ(gifCtl->GetCurrentFrame(), 1);
    driver->AdvanceTime(1);
    EXPECT_EQ(gifCtl->GetCurrentFrame(), 0);
    auto calls = backend->PaintWindow(w.get());
    EXPECT_EQ(Count(
                  calls, L"image playing.gif " +
                             [&] {
                                 UIRect rc = gifCtl->GetPos();
                                 return std::to_wstring(rc.left) + L"," + std::to_wstring(rc.top) + L"," +
                                        std::to_wstring(rc.right) + L"," + std::to_wstring(rc.bottom);
                             }() +
                             L" src 0,0,2,1 fade 255 frame 0"),
              1u);
    gifCtl->StopGif();
    driver->AdvanceTime(1000);
    EXPECT_EQ(gifCtl->GetCurrentFrame(), 0);
    EXPECT_FALSE(gifCtl->IsPlaying());
}
