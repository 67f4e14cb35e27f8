// These tests have no skin. The UI library's embedded-skin accessors are generated per executable;
// linking the engine can pull the skin reader in, so they answer empty here.
#include <cstddef>

const unsigned char* UIEmbeddedSkinData() {
    return nullptr;
}
std::size_t UIEmbeddedSkinSize() {
    return 0;
}
