// The UPnP devices that put the server on the network: one per chosen interface, each on a
// context of its own bound to that interface's address. Rygel's MediaServer class is not
// used: its context manager opens sockets on every interface of the machine and only marks
// the unwanted ones inactive. Main thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <rygel-server.h>

#include "server/ServerState.h"

struct ServerSettings;

class ServerDevices {
public:
    static constexpr const char c_PluginName[] = "LumoServer";

    using Endpoint = ServerEndpoint;

    // The bytes of an object's resource ("primary", "lpcm", "tn", ...), -1 when not known.
    using ResourceBytesFunction = int64_t (*)(const std::string& objectId, const std::string& resource);

    // root is the content tree's root container; descriptionFolder receives the device and
    // service descriptions (written afresh at each start); resourceBytes judges the ranges
    // clients ask for.
    ServerDevices(
        RygelMediaContainer* root, std::string descriptionFolder, ResourceBytesFunction resourceBytes = nullptr);
    ~ServerDevices();
    ServerDevices(const ServerDevices&) = delete;
    ServerDevices& operator=(const ServerDevices&) = delete;

    // Announces the server on the settings' interfaces (or every usable one when none is
    // named). What went wrong on an interface is appended to problems; the others serve.
    void Start(const ServerSettings& settings, std::vector<std::string>& problems);
    // Says goodbye (SSDP byebye) and closes every socket a little later.
    void Stop();
    bool Running() const { return !m_devices.empty(); }
    const std::vector<Endpoint>& Endpoints() const { return m_endpoints; }

    // The interfaces served when the settings name none: up, running, able to multicast, not
    // the loopback, with an IPv4 address.
    static std::vector<std::string> DefaultInterfaces();

    ResourceBytesFunction ResourceBytes() const { return m_resourceBytes; }

private:
    struct Device {
        GUPnPContext* context = nullptr;
        RygelRootDevice* device = nullptr;
    };

    void WriteDescriptions();
    bool StartOn(const std::string& interfaceName, const ServerSettings& settings, std::vector<std::string>& problems);
    void Release(std::vector<Device>& devices);

    ResourceBytesFunction m_resourceBytes = nullptr;
    RygelMediaServerPlugin* m_plugin = nullptr;
    std::string m_folder;
    std::vector<Device> m_devices;
    // Devices that said goodbye and wait for their messages to leave before closing.
    std::vector<Device> m_leaving;
    std::vector<Endpoint> m_endpoints;
    // Owns the goodbye timer, so it dies with the devices.
    std::unique_ptr<QObject> m_timerContext;
};

// Refuses the actions that would change the collection or take files in (they are not part
// of the service description either), and sets the complete source protocol info. Public for
// the tests of the devices a server makes.
void TameServices(RygelRootDevice* device);
