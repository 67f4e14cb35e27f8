// The skin: one zip archive of layouts and images held in memory (or, for development, a folder),
// and the model's image cache keyed by file name. Images stay encoded; renderers decode them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "uikit/UIRender.h"

class CSkinUI {
public:
    // Copies a zip archive held in memory and serves files from it. False (and the previous skin
    // kept) when it is not a readable zip.
    static bool LoadZipFromMemory(const void* data, std::size_t size);
    // Serves files from a folder on disk instead (names relative to it).
    static bool LoadFolder(const std::wstring& folder);
    // The archive compiled into the executable by the CMake step tw_embed_skin.
    static bool LoadEmbedded();
    static void Release();
    static bool IsLoaded();

    // A file of the skin by its name ("main.xml", "images/a.png"; "\" is read as "/", names are
    // matched case-insensitively when no exact match exists). False when missing.
    static bool ReadFile(const std::wstring& name, std::string* bytes);
    static bool HasFile(const std::wstring& name);
    static std::vector<std::wstring> ListFiles();

    // The cached image of that name, read on first use; nullptr when the file is missing.
    static std::shared_ptr<TImageDataUI> GetImage(const std::wstring& name);
    static void ClearImageCache();
    // Reads the size (PNG, GIF, JPEG, BMP) and the GIF frame list from encoded bytes.
    static void ReadImageHeader(TImageDataUI* image);
};

// Defined in the source file that tw_embed_skin generates for an executable. The library brings
// empty weak stand-ins (no archive), so a program without a skin links and LoadEmbedded fails.
const unsigned char* UIEmbeddedSkinData();
std::size_t UIEmbeddedSkinSize();
