// Library-internal helpers shared by the model's source files.
#pragma once

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
