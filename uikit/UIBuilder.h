// Builds control trees from XML layouts of the skin.
//
// A layout's root is either <Window size="w,h" ...> holding <Font .../> definitions and one root
// control, or a control tag itself (row layouts). Tags are the class names without "UI"
// (Control, Container, VerticalLayout, HorizontalLayout, TabLayout, List, ListContainerElement,
// Label, Text, Button, Option, Edit, RichEdit, Combo (with <Item text=".." selected="true"/>
// children), Slider, Progress, GifAnim, FrameAnim, MenuElement); <Include source="x.xml"/>
// inserts another layout. Every other tag is offered to the callback; a tag nobody knows is
// skipped with its children.
#pragma once

#include <string>

#include "uikit/UIControl.h"

class IBuilderCallbackUI {
public:
    virtual ~IBuilderCallbackUI() = default;
    // A control for a custom tag, or nullptr.
    virtual CControlUI* CreateControl(const std::wstring& tag) = 0;
};

class CBuilderUI {
public:
    // Builds from a skin file. `window` (optional) takes the <Window> attributes (size, caption,
    // fonts, ...). `parent` (optional) is the container the new tree will be added to; it is
    // not added by the builder. Returns the root control (the caller owns it) or nullptr.
    CControlUI* Create(const std::wstring& skinFile, IBuilderCallbackUI* callback = nullptr,
                       CWindowUI* window = nullptr);
    // The same from XML text.
    CControlUI* CreateFromText(const std::wstring& xml, IBuilderCallbackUI* callback = nullptr,
                               CWindowUI* window = nullptr);
    // What went wrong in the last Create (missing file, XML error), empty after success.
    std::wstring GetLastError() const { return m_lastError; }

    // A control of the library for a standard tag ("Button" ...), nullptr for others.
    static CControlUI* CreateStandardControl(const std::wstring& tag);

private:
    std::wstring m_lastError;
};
