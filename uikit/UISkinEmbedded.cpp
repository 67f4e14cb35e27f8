// The skin compiled into the program. tw_embed_skin defines the two accessors for a target; these
// weak stand-ins answer "no archive" for programs that embed none.
#include "uikit/UISkin.h"

__attribute__((weak)) const unsigned char* UIEmbeddedSkinData() {
    return nullptr;
}
__attribute__((weak)) std::size_t UIEmbeddedSkinSize() {
    return 0;
}

bool CSkinUI::LoadEmbedded() {
    return LoadZipFromMemory(UIEmbeddedSkinData(), UIEmbeddedSkinSize());
}
