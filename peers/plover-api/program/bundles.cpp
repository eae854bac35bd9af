// qen-plover-bundles: writes the bundle files the Plover peer serves into a folder.
//
//   qen-plover-bundles FOLDER [CLIP]
//
// CLIP, when given, is copied into the folder as "clip.mp4".

#include <filesystem>
#include <iostream>
#include <string>

#include "peers/plover-api/PloverAPIServer.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: qen-plover-bundles FOLDER [CLIP]\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::string error;
    if (!peers::writePloverBundleFiles(folder, &error)) {
        std::cerr << "qen-plover-bundles: " << error << "\n";
        return 1;
    }
    if (argc == 3) {
        std::error_code ec;
        std::filesystem::copy_file(argv[2], folder / "clip.mp4",
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) {
            std::cerr << "qen-plover-bundles: cannot copy " << argv[2] << ": " << ec.message()
                      << "\n";
            return 1;
        }
    }
    return 0;
}
