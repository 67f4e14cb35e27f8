// Library-internal helpers shared by the model's source files.
#pragma once

#include <type_traits>

// Bodies of simple control properties, written with qualified names so they serve every control
// class. Reads and writes happen under the model lock; a setter of something drawn repaints, and
// one of something laid out re-lays out the parent, both only when the value really changed.
// `type` is the setter's parameter type; the getter returns it without const or reference.
#define UI_PROP_GET(type, getter, member)      \
    std::remove_cvref_t<type> getter() const { \
        CUILockGuard lock(UILock());           \
        return member;                         \
    }
#define UI_PROP_SET(type, setter, member) \
    void setter(type value) {             \
        CUILockGuard lock(UILock());      \
        member = value;                   \
    }
// Sets the value and, when it changed, calls the member function `onChange` outside the lock.
#define UI_PROP_SET_CHANGED(type, setter, member, onChange) \
    void setter(type value) {                               \
        {                                                   \
            CUILockGuard lock(UILock());                    \
            if (member == value) return;                    \
            member = value;                                 \
        }                                                   \
        onChange();                                         \
    }
#define UI_PROP_SET_PAINT(type, setter, member) UI_PROP_SET_CHANGED(type, setter, member, Invalidate)
#define UI_PROP_SET_LAYOUT(type, setter, member) UI_PROP_SET_CHANGED(type, setter, member, NeedParentUpdate)
#define UI_PROP_PAINT(type, getter, setter, member) \
    UI_PROP_GET(type, getter, member)               \
    UI_PROP_SET_PAINT(type, setter, member)

// Marks a dispatch (input, message, timer, task) on the UI thread; controls removed during it are
// deleted when the outermost dispatch ends.
struct UIDispatchScope {
    UIDispatchScope();
    ~UIDispatchScope();
    UIDispatchScope(const UIDispatchScope&) = delete;
    UIDispatchScope& operator=(const UIDispatchScope&) = delete;
};

// Deletes controls whose removal was deferred, unless a dispatch is in progress.
void UIFlushDeferredDeletes();
