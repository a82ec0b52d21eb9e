// The media engine Rygel streams through: it reads the published files and the pictures this
// program makes, and names the internal URIs that never leave the process. Rygel's own
// engines are not used: they live in its daemon's package, and their file source posts data
// for a stream that may already be gone.
#pragma once

#include <functional>
#include <memory>
#include <string>

// Internal URIs: "lumo-file://<escaped path>" for a published file, "lumo-picture:<key>" for
// a picture made on request (thumbnails, album art).
constexpr char c_FileScheme[] = "lumo-file";
constexpr char c_PictureScheme[] = "lumo-picture";

std::string FileUri(const std::string& path);
// The path of a "lumo-file://" URI; empty for anything else.
std::string PathOfFileUri(const std::string& uri);

// Makes pictures for "lumo-picture:" URIs. Called on the main thread; done must be called on
// the main thread too, with null when the picture cannot be made.
class PictureProvider {
public:
    using Done = std::function<void(std::shared_ptr<const std::string> bytes)>;
    virtual ~PictureProvider() = default;
    virtual void ProducePicture(const std::string& uri, Done done) = 0;
};

// Registers the engine type under the name the bridge library looks up ("LumoMediaEngine").
// Call before Rygel looks for an engine.
void RegisterMediaEngine();
// The provider the engine asks for pictures; null stops serving them. Main thread.
void SetPictureProvider(PictureProvider* provider);
// Streams running now (for tests of vanishing clients and for the properties window).
int ActiveStreamCount();
