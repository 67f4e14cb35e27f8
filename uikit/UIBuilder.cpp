#include "uikit/UIBuilder.h"

#include <pugixml.hpp>

#include "logging/Log.h"
#include "platform/Platform.h"
#include "uikit/UIContainer.h"
#include "uikit/UIControls.h"
#include "uikit/UIList.h"
#include "uikit/UIMenu.h"
#include "uikit/UISkin.h"
#include "uikit/UIWindow.h"

namespace {

std::wstring W(const char* s) {
    return platform::FromUtf8(s ? s : "");
}

struct BuildContext {
    IBuilderCallbackUI* callback = nullptr;
    CWindowUI* window = nullptr;
    int includeDepth = 0;
    std::wstring* error = nullptr;
};

CControlUI* BuildNode(const pugi::xml_node& node, BuildContext& ctx);

void BuildChildren(const pugi::xml_node& node, CControlUI* control, BuildContext& ctx) {
    auto* container = dynamic_cast<CContainerUI*>(control);
    auto* combo = dynamic_cast<CComboUI*>(control);
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() != pugi::node_element) continue;
        std::wstring tag = W(child.name());
        if (combo && tag == L"Item") {
            int index =
                combo->AddItem(W(child.attribute("text").value()), W(child.attribute("userdata").value()),
                               child.attribute("tag").as_ullong());
            if (child.attribute("selected").as_bool()) combo->SelectItem(index, false);
            continue;
        }
        if (!container) continue;
        if (tag == L"Include") {
            if (ctx.includeDepth > 8) continue;
            std::string bytes;
            std::wstring source = W(child.attribute("source").value());
            int count = std::max(1, child.attribute("count").as_int(1));
            if (!CSkinUI::ReadFile(source, &bytes)) {
                TW_LOG_INFO(L"skin: included layout missing: " << source << L"\n");
                continue;
            }
            pugi::xml_document doc;
            if (!doc.load_buffer(bytes.data(), bytes.size())) continue;
            pugi::xml_node root = doc.document_element();
            if (std::string(root.name()) == "Window") {
                for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling()) {
                    if (n.type() == pugi::node_element && std::string(n.name()) != "Font" &&
                        std::string(n.name()) != "Default") {
                        root = n;
                        break;
                    }
                }
            }
            ++ctx.includeDepth;
            for (int i = 0; i < count; ++i)
                if (CControlUI* c = BuildNode(root, ctx)) container->Add(c);
            --ctx.includeDepth;
            continue;
        }
        if (CControlUI* c = BuildNode(child, ctx)) container->Add(c);
    }
}

CControlUI* BuildNode(const pugi::xml_node& node, BuildContext& ctx) {
    std::wstring tag = W(node.name());
    CControlUI* control = CBuilderUI::CreateStandardControl(tag);
    if (!control && ctx.callback) control = ctx.callback->CreateControl(tag);
    if (!control) {
        TW_LOG_INFO(L"skin: unknown tag skipped: " << tag << L"\n");
        return nullptr;
    }
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        control->SetAttribute(W(a.name()), W(a.value()));
    BuildChildren(node, control, ctx);
    return control;
}

CControlUI* BuildDocument(const pugi::xml_document& doc, BuildContext& ctx) {
    pugi::xml_node root = doc.document_element();
    if (!root) {
        *ctx.error = L"empty layout";
        return nullptr;
    }
    if (std::string(root.name()) != "Window") return BuildNode(root, ctx);
    if (ctx.window) {
        for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute())
            ctx.window->SetWindowAttribute(W(a.name()), W(a.value()));
    }
    CControlUI* result = nullptr;
    for (pugi::xml_node n = root.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_element) continue;
        std::string tag = n.name();
        if (tag == "Font") {
            if (ctx.window) {
                TFontUI f;
                f.name = W(n.attribute("name").value());
                f.size = n.attribute("size").as_int(12);
                f.bold = n.attribute("bold").as_bool();
                f.underline = n.attribute("underline").as_bool();
                f.italic = n.attribute("italic").as_bool();
                ctx.window->AddFont(f, n.attribute("default").as_bool());
            }
        } else if (tag == "Default" || tag == "Image") {
            continue;
        } else if (!result) {
            result = BuildNode(n, ctx);
        }
    }
    if (!result) *ctx.error = L"layout has no root control";
    return result;
}

}  // namespace

CControlUI* CBuilderUI::CreateStandardControl(const std::wstring& tag) {
    if (tag == L"Control") return new CControlUI;
    if (tag == L"Container") return new CContainerUI;
    if (tag == L"VerticalLayout") return new CVerticalLayoutUI;
    if (tag == L"HorizontalLayout") return new CHorizontalLayoutUI;
    if (tag == L"TabLayout") return new CTabLayoutUI;
    if (tag == L"List") return new CListUI;
    if (tag == L"ListContainerElement") return new CListContainerElementUI;
    if (tag == L"Label") return new CLabelUI;
    if (tag == L"Text") return new CTextUI;
    if (tag == L"Button") return new CButtonUI;
    if (tag == L"Option") return new COptionUI;
    if (tag == L"Edit") return new CEditUI;
    if (tag == L"RichEdit") return new CRichEditUI;
    if (tag == L"Combo") return new CComboUI;
    if (tag == L"Slider") return new CSliderUI;
    if (tag == L"Progress") return new CProgressUI;
    if (tag == L"GifAnim") return new CGifAnimUI;
    if (tag == L"FrameAnim") return new CFrameAnimUI;
    if (tag == L"MenuElement") return new CMenuElementUI;
    return nullptr;
}

CControlUI* CBuilderUI::Create(const std::wstring& skinFile, IBuilderCallbackUI* callback,
                               CWindowUI* window) {
    m_lastError.clear();
    std::string bytes;
    if (!CSkinUI::ReadFile(skinFile, &bytes)) {
        m_lastError = L"layout not found in the skin: " + skinFile;
        TW_LOG_INFO(L"skin: " << m_lastError << L"\n");
        return nullptr;
    }
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
        m_lastError = skinFile + L": " + W(parsed.description());
        TW_LOG_INFO(L"skin: " << m_lastError << L"\n");
        return nullptr;
    }
    BuildContext ctx{callback, window, 0, &m_lastError};
    return BuildDocument(doc, ctx);
}

CControlUI* CBuilderUI::CreateFromText(const std::wstring& xml, IBuilderCallbackUI* callback,
                                       CWindowUI* window) {
    m_lastError.clear();
    std::string bytes = platform::ToUtf8(xml);
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
        m_lastError = W(parsed.description());
        return nullptr;
    }
    BuildContext ctx{callback, window, 0, &m_lastError};
    return BuildDocument(doc, ctx);
}
