// The preview player: a thin wrapper over libvlc with integer units the windows use directly
// (milliseconds, position in thousandths, position set in whole percent, volume 0-100) and the
// library's playing / position-changed / end-reached events turned into callbacks. The callbacks
// run on libvlc's event thread: they must only post messages, never call back into the player.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct libvlc_instance_t;
struct libvlc_media_player_t;
struct libvlc_event_t;

class CAVPlayer {
public:
    using Callback = std::function<void(CAVPlayer*)>;

    CAVPlayer() = default;
    ~CAVPlayer();
    CAVPlayer(const CAVPlayer&) = delete;
    CAVPlayer& operator=(const CAVPlayer&) = delete;

    // Arguments for the libvlc instance made on the first open (empty: none). Tests pass the
    // dummy outputs here; the program keeps the library's defaults.
    void SetInstanceArgs(std::vector<std::string> args);
    static void SetDefaultInstanceArgs(std::vector<std::string> args);

    // Stores the window the video is drawn into when the UI backend knows it as a child window
    // (an X11 window id on screen). Returns whether it did.
    bool SetHostWindow(uintptr_t handle);
    uintptr_t GetHostWindow() const { return m_hostWindow; }

    void SetCallbackPlaying(Callback cb) { m_onPlaying = std::move(cb); }
    void SetCallbackPosChanged(Callback cb) { m_onPositionChanged = std::move(cb); }
    void SetCallbackEndReached(Callback cb) { m_onEndReached = std::move(cb); }

    // Opens a file (UTF-8 path) and starts playing it. A previous media player is stopped and
    // released first. False on failure; the instance is kept.
    bool Open(const std::string& utf8Path);
    void Play();
    void Pause();  // toggles playing / paused
    bool IsPlaying();
    bool HasMedia() const { return m_mediaPlayer != nullptr; }
    bool IsOpened() const { return m_opened != 0; }
    bool HasInstance() const { return m_instance != nullptr; }
    int32_t GetTime();
    int32_t GetTotalTime();
    // Position in thousandths of the length (0-1000).
    int GetPos();
    // Seeks to a whole percent (0-100); other values are ignored.
    void SetPos(int percent);
    // Volume 0-100 of the UI; the library gets 1.3 times it. Negative values are ignored.
    void Volume(int volume);
    // The library's own volume (tests read the round trip); -1 without media.
    int GetLibraryVolume();
    // Playback speed (tests use it to reach the end sooner).
    void SetRate(float rate);
    // Stops and releases the media player; the instance stays.
    void Close();
    // Close, then release the instance.
    void Release();

private:
    static void OnVlcEvent(const libvlc_event_t* event, void* data);

    libvlc_instance_t* m_instance = nullptr;
    libvlc_media_player_t* m_mediaPlayer = nullptr;
    uintptr_t m_hostWindow = 0;
    Callback m_onPlaying;
    Callback m_onPositionChanged;
    Callback m_onEndReached;
    uint8_t m_opened = 0;
    std::vector<std::string> m_instanceArgs;
    bool m_argsSet = false;
};
