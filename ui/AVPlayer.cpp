#include "ui/AVPlayer.h"

#include <vlc/vlc.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "uikit/UIlib.h"

namespace {

std::mutex g_defaultArgsMutex;
std::vector<std::string> g_defaultArgs;

// How long an open waits for the library to read the file's tracks.
constexpr int kParseTimeoutMs = 5000;

struct ParseWait {
    std::mutex mutex;
    std::condition_variable done;
    bool parsed = false;
};

void OnMediaParsed(const libvlc_event_t* /*event*/, void* data) {
    auto* wait = static_cast<ParseWait*>(data);
    std::lock_guard<std::mutex> lock(wait->mutex);
    wait->parsed = true;
    wait->done.notify_all();
}

// Reads the media's tracks (local files only, bounded in time): a file without an audio or
// video track that the library can decode is refused at open instead of failing silently later
// on the library's own thread.
bool HasPlayableTracks(libvlc_media_t* media) {
    ParseWait wait;
    libvlc_event_manager_t* events = libvlc_media_event_manager(media);
    if (!events) return false;
    libvlc_event_attach(events, libvlc_MediaParsedChanged, &OnMediaParsed, &wait);
    bool ok = libvlc_media_parse_with_options(media, libvlc_media_parse_local, kParseTimeoutMs) == 0;
    if (ok) {
        std::unique_lock<std::mutex> lock(wait.mutex);
        ok = wait.done.wait_for(lock, std::chrono::milliseconds(kParseTimeoutMs + 1000),
                                [&] { return wait.parsed; });
    }
    if (!ok) libvlc_media_parse_stop(media);
    libvlc_event_detach(events, libvlc_MediaParsedChanged, &OnMediaParsed, &wait);
    if (!ok || libvlc_media_get_parsed_status(media) != libvlc_media_parsed_status_done) return false;
    libvlc_media_track_t** tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(media, &tracks);
    bool playable = false;
    for (unsigned i = 0; i < count; ++i) {
        if (tracks[i]->i_type == libvlc_track_audio || tracks[i]->i_type == libvlc_track_video)
            playable = true;
    }
    if (tracks) libvlc_media_tracks_release(tracks, count);
    return playable;
}

}  // namespace

CAVPlayer::~CAVPlayer() {
    Release();
}

void CAVPlayer::SetInstanceArgs(std::vector<std::string> args) {
    m_instanceArgs = std::move(args);
    m_argsSet = true;
}

void CAVPlayer::SetDefaultInstanceArgs(std::vector<std::string> args) {
    std::lock_guard<std::mutex> lock(g_defaultArgsMutex);
    g_defaultArgs = std::move(args);
}

bool CAVPlayer::SetHostWindow(uintptr_t handle) {
    IBackendUI* backend = CAppUI::GetBackend();
    if (handle == 0 || !backend || !backend->IsChildWindow(handle)) return false;
    m_hostWindow = handle;
    return true;
}

bool CAVPlayer::Open(const std::string& utf8Path) {
    if (m_opened && m_mediaPlayer) Close();
    if (!m_instance) {
        std::vector<std::string> args;
        if (m_argsSet) {
            args = m_instanceArgs;
        } else {
            std::lock_guard<std::mutex> lock(g_defaultArgsMutex);
            args = g_defaultArgs;
        }
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        m_instance = libvlc_new(static_cast<int>(argv.size()), argv.empty() ? nullptr : argv.data());
        if (!m_instance) return false;
    }
    if (utf8Path.empty()) return false;
    // libvlc opens a path that does not exist without complaint and fails later on its own
    // thread; a missing or unreadable file is refused here so that open reports it.
    if (FILE* f = fopen(utf8Path.c_str(), "rb")) {
        fclose(f);
    } else {
        return false;
    }
    libvlc_media_t* media = libvlc_media_new_path(m_instance, utf8Path.c_str());
    if (!media) return false;
    if (!HasPlayableTracks(media)) {
        libvlc_media_release(media);
        return false;
    }
    m_mediaPlayer = libvlc_media_player_new_from_media(media);
    libvlc_media_release(media);
    if (!m_mediaPlayer) return false;
    if (m_hostWindow) libvlc_media_player_set_xwindow(m_mediaPlayer, static_cast<uint32_t>(m_hostWindow));
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_mediaPlayer);
    if (events) {
        libvlc_event_attach(events, libvlc_MediaPlayerPlaying, &CAVPlayer::OnVlcEvent, this);
        libvlc_event_attach(events, libvlc_MediaPlayerPositionChanged, &CAVPlayer::OnVlcEvent, this);
        libvlc_event_attach(events, libvlc_MediaPlayerEndReached, &CAVPlayer::OnVlcEvent, this);
    }
    libvlc_media_player_play(m_mediaPlayer);
    libvlc_video_set_aspect_ratio(m_mediaPlayer, "5:2");
    m_opened = 1;
    return true;
}

void CAVPlayer::OnVlcEvent(const libvlc_event_t* event, void* data) {
    auto* self = static_cast<CAVPlayer*>(data);
    if (!event || !self) return;
    switch (event->type) {
        case libvlc_MediaPlayerPlaying:
            if (self->m_onPlaying) self->m_onPlaying(self);
            break;
        case libvlc_MediaPlayerPositionChanged:
            if (self->m_onPositionChanged) self->m_onPositionChanged(self);
            break;
        case libvlc_MediaPlayerEndReached:
            if (self->m_onEndReached) self->m_onEndReached(self);
            break;
        default:
            break;
    }
}

void CAVPlayer::Play() {
    if (m_mediaPlayer) libvlc_media_player_play(m_mediaPlayer);
}

void CAVPlayer::Pause() {
    if (m_mediaPlayer) libvlc_media_player_pause(m_mediaPlayer);
}

bool CAVPlayer::IsPlaying() {
    return m_mediaPlayer && libvlc_media_player_is_playing(m_mediaPlayer) == 1;
}

int32_t CAVPlayer::GetTime() {
    return m_mediaPlayer ? static_cast<int32_t>(libvlc_media_player_get_time(m_mediaPlayer)) : 0;
}

int32_t CAVPlayer::GetTotalTime() {
    return m_mediaPlayer ? static_cast<int32_t>(libvlc_media_player_get_length(m_mediaPlayer)) : 0;
}

int CAVPlayer::GetPos() {
    if (!m_mediaPlayer) return 0;
    const float pos = libvlc_media_player_get_position(m_mediaPlayer) * 1000.0f;
    return pos > 0.0f ? static_cast<int>(pos) : 0;
}

void CAVPlayer::SetPos(int percent) {
    if (!m_mediaPlayer || static_cast<unsigned>(percent) > 100u) return;
    libvlc_media_player_set_position(m_mediaPlayer, static_cast<float>(percent / 100.0));
}

void CAVPlayer::Volume(int volume) {
    if (!m_mediaPlayer || volume < 0) return;
    libvlc_audio_set_volume(m_mediaPlayer, static_cast<int>(volume * 1.3));
}

int CAVPlayer::GetLibraryVolume() {
    return m_mediaPlayer ? libvlc_audio_get_volume(m_mediaPlayer) : -1;
}

void CAVPlayer::SetRate(float rate) {
    if (m_mediaPlayer) libvlc_media_player_set_rate(m_mediaPlayer, rate);
}

void CAVPlayer::Close() {
    if (!m_mediaPlayer) return;
    libvlc_media_player_stop(m_mediaPlayer);
    libvlc_media_player_release(m_mediaPlayer);
    m_mediaPlayer = nullptr;
    m_opened = 0;
}

void CAVPlayer::Release() {
    Close();
    if (m_instance) {
        libvlc_release(m_instance);
        m_instance = nullptr;
    }
}
