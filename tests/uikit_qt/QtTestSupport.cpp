#include "QtTestSupport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

#include <unistd.h>

#include "platform/Platform.h"
#include "uikit/qt/QtRender.h"
#include "uikit/qt/QtSurface.h"

namespace qttest {

namespace {
CQtBackendUI* g_backend = nullptr;

bool SavePng(const QImage& image, const QString& path) {
    return image.save(path, "PNG");
}

QImage Solid(int w, int h, QColor colour) {
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}
}  // namespace

CQtBackendUI& Backend() {
    return *g_backend;
}
void SetBackend(CQtBackendUI* backend) {
    g_backend = backend;
}

int RunQtTests(int argc, char** argv, const std::function<bool()>& loadSkin,
               const std::function<void()>& cleanUp) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    platform::InitLocale();
    ::testing::InitGoogleTest(&argc, argv);
    int rc = 1;
    {
        CQtBackendUI backend;
        CAppUI::SetBackend(&backend);
        SetBackend(&backend);
        if (loadSkin ? loadSkin() : CSkinUI::LoadEmbedded()) {
            rc = RUN_ALL_TESTS();
        } else {
            std::fprintf(stderr, "the skin does not load\n");
        }
        CSkinUI::Release();
        if (cleanUp) cleanUp();
        SetBackend(nullptr);
        CAppUI::SetBackend(nullptr);
    }
    return rc;
}

std::wstring SkinFolder() {
    const char* tmp = getenv("TW_TEST_TMP");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    // One folder per process: CTest runs the cases of this executable in parallel processes.
    return platform::FromUtf8(base) + L"/uikit_qt_skin_" + std::to_wstring(getpid()) + L"/";
}

std::string ScreenshotFolder() {
    const char* build = getenv("TW_BUILD_DIR");
    std::string base = build && *build ? build : "/tmp";
    std::string folder = base + "/screenshots/";
    platform::CreateFolders(platform::FromUtf8(folder));
    return folder;
}

std::string ScreenshotPath(const std::string& stem, int dpi) {
    return ScreenshotFolder() + stem + (dpi == 96 ? "" : "@150") + ".png";
}

QImage Shoot(CWindowUI* window, const std::string& stem, int dpi) {
    PumpFor();
    QImage image = UIQtGrab(window);
    if (!image.isNull()) image.save(QString::fromStdString(ScreenshotPath(stem, dpi)), "PNG");
    return image;
}

std::string PngBytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string MakeSolidGif(int width, int height, const std::vector<int>& frames, int delayCs) {
    std::string out = "GIF89a";
    auto put16 = [&out](int v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>((v >> 8) & 0xFF);
    };
    put16(width);
    put16(height);
    out += static_cast<char>(0x91);  // global colour table of 4 entries
    out += '\0';
    out += '\0';
    const unsigned char palette[12] = {255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0, 0};
    out.append(reinterpret_cast<const char*>(palette), sizeof palette);
    out += "\x21\xFF\x0BNETSCAPE2.0\x03\x01";  // loop for ever
    out += '\0';
    out += '\0';
    out += '\0';
    for (int colour : frames) {
        out += "\x21\xF9\x04";
        out += static_cast<char>(0x04);  // keep the previous frame
        put16(delayCs);
        out += '\0';
        out += '\0';
        out += '\x2C';
        put16(0);
        put16(0);
        put16(width);
        put16(height);
        out += '\0';
        out += '\x02';  // LZW minimum code size
        // Codes of 3 bits: a clear code before every two pixels keeps the code width fixed.
        std::vector<int> codes;
        const int pixels = width * height;
        for (int i = 0; i < pixels; i += 2) {
            codes.push_back(4);
            codes.push_back(colour);
            if (i + 1 < pixels) codes.push_back(colour);
        }
        codes.push_back(5);
        std::string data;
        uint32_t acc = 0;
        int bits = 0;
        for (int code : codes) {
            acc |= static_cast<uint32_t>(code) << bits;
            bits += 3;
            while (bits >= 8) {
                data += static_cast<char>(acc & 0xFF);
                acc >>= 8;
                bits -= 8;
            }
        }
        if (bits > 0) data += static_cast<char>(acc & 0xFF);
        for (size_t pos = 0; pos < data.size(); pos += 255) {
            const size_t n = std::min<size_t>(255, data.size() - pos);
            out += static_cast<char>(n);
            out += data.substr(pos, n);
        }
        out += '\0';
    }
    out += '\x3B';
    return out;
}

bool WriteDemoSkin(const std::wstring& folderW, const std::string& layoutSource) {
    const QString folder = UIToQString(folderW);
    QDir().mkpath(folder + "frames");
    // Every layout beside demo.xml in the source tree.
    const QDir sourceDir = QFileInfo(QString::fromStdString(layoutSource)).absoluteDir();
    for (const QString& layout : sourceDir.entryList({QStringLiteral("*.xml")}, QDir::Files)) {
        QFile::remove(folder + layout);
        if (!QFile::copy(sourceDir.filePath(layout), folder + layout)) return false;
    }
    bool ok = SavePng(Solid(20, 20, QColor(255, 0, 0)), folder + "red.png");
    QImage quad(40, 40, QImage::Format_ARGB32);
    {
        QPainter p(&quad);
        p.fillRect(0, 0, 20, 20, QColor(255, 0, 0));
        p.fillRect(20, 0, 20, 20, QColor(0, 255, 0));
        p.fillRect(0, 20, 20, 20, QColor(0, 0, 255));
        p.fillRect(20, 20, 20, 20, QColor(255, 255, 0));
    }
    ok = ok && SavePng(quad, folder + "quad.png");
    QImage frame = Solid(12, 12, QColor(0, 0, 255));
    {
        QPainter p(&frame);
        p.fillRect(4, 4, 4, 4, QColor(255, 255, 255));
    }
    ok = ok && SavePng(frame, folder + "frame.png");
    ok = ok && SavePng(Solid(20, 20, QColor(200, 200, 200)), folder + "btn_normal.png");
    ok = ok && SavePng(Solid(20, 20, QColor(255, 192, 0)), folder + "btn_hot.png");
    ok = ok && SavePng(Solid(20, 20, QColor(128, 0, 255)), folder + "btn_pushed.png");
    ok = ok && SavePng(Solid(20, 20, QColor(96, 96, 96)), folder + "btn_disabled.png");
    ok = ok && SavePng(Solid(10, 20, QColor(136, 0, 0)), folder + "thumb.png");
    ok = ok && SavePng(Solid(20, 20, QColor(255, 0, 255)), folder + "frames/1.png");
    ok = ok && SavePng(Solid(20, 20, QColor(0, 255, 255)), folder + "frames/2.png");
    ok = ok && SavePng(Solid(20, 20, QColor(255, 255, 0)), folder + "frames/3.png");
    QFile gif(folder + "anim.gif");
    const std::string gifBytes = MakeSolidGif(16, 16, {0, 1}, 3);
    ok = ok && gif.open(QIODevice::WriteOnly) &&
         gif.write(gifBytes.data(), static_cast<qint64>(gifBytes.size())) ==
             static_cast<qint64>(gifBytes.size());
    return ok;
}

bool PumpUntil(const std::function<bool()>& pred, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        Backend().Pump();
        if (pred()) return true;
        if (clock.elapsed() > timeoutMs) return false;
        // Sleeps until the next Qt event, posted task or due timer; the guard timer bounds it.
        QTimer::singleShot(10, [] {});
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents();
        if (pred()) return true;
    }
}

void PumpAll() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents();
        Backend().Pump();
    }
}

void PumpFor(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents();
        CAppUI::ProcessPending();
    }
}

bool Near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

int CountDifferent(const QImage& image, const QRect& rect, QColor background, int tolerance) {
    int count = 0;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (!Near(image.pixelColor(x, y), background, tolerance)) ++count;
        }
    }
    return count;
}

int CountNear(const QImage& image, const QRect& rect, QColor colour, int tolerance) {
    const QRect r = rect.intersected(image.rect());
    return r.width() * r.height() - CountDifferent(image, r, colour, tolerance);
}

int Ink(const QImage& image, const UIRect& rc, bool countBlue) {
    int count = 0;
    for (int y = std::max(0, rc.top); y < std::min(image.height(), rc.bottom); ++y) {
        for (int x = std::max(0, rc.left); x < std::min(image.width(), rc.right); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 200 || c.green() < 200 || (countBlue && c.blue() < 200)) ++count;
        }
    }
    return count;
}

QRect ToQRect(const UIRect& rc) {
    return QRect(rc.left, rc.top, rc.GetWidth(), rc.GetHeight());
}

void CDemoWnd::Notify(TNotifyUI& msg) {
    const std::wstring name = msg.pSender ? msg.pSender->GetName() : std::wstring();
    log.push_back(msg.sType + L":" + name);
    if (msg.sType == L"click" && !closeOn.empty() && name == closeOn) Close(7);
}

intptr_t CDemoWnd::HandleMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, bool& handled) {
    if (msg == UIMSG_MENUCLICK && wParam) {
        menuClicks.push_back(*reinterpret_cast<const std::wstring*>(wParam));
        handled = true;
        return 0;
    }
    if (msg >= UIMSG_USER && msg != UIMSG_MENUCLICK) messages.push_back(msg);
    if (msg == UIMSG_KEYDOWN) keys.push_back(L"key:" + std::to_wstring(wParam));
    if (msg == UIMSG_CHAR) keys.push_back(L"char:" + std::wstring(1, static_cast<wchar_t>(wParam)));
    if (msg == UIMSG_DROPFILES && wParam) {
        const auto* paths = reinterpret_cast<const std::vector<std::wstring>*>(wParam);
        dropped.insert(dropped.end(), paths->begin(), paths->end());
        handled = true;
        return 0;
    }
    return CWindowUI::HandleMessage(msg, wParam, lParam, handled);
}

bool CDemoWnd::Seen(const std::wstring& typeAndName) const {
    return std::find(log.begin(), log.end(), typeAndName) != log.end();
}

}  // namespace qttest
