// Keeps one libvlc instance for the life of the test process. libvlc unloads its plugins when its
// last instance is released; allocations those plugins keep could then no longer be attributed
// to them by the leak checker. With this instance alive they stay loaded and attributed.
#pragma once

#include <gtest/gtest.h>
#include <vlc/vlc.h>

class VlcKeeper : public ::testing::Environment {
public:
    void SetUp() override {
        const char* args[] = {"--aout=dummy", "--vout=dummy", "--no-xlib", "-q"};
        if (!s_instance) s_instance = libvlc_new(4, args);
    }
    // Never released: the plugins must stay loaded until the process ends.

private:
    static inline libvlc_instance_t* s_instance = nullptr;
};

// Registers the keeper before main runs the tests.
inline const ::testing::Environment* const kVlcKeeper = ::testing::AddGlobalTestEnvironment(new VlcKeeper);
