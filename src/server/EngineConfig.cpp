#include "server/EngineConfig.h"

#include <rygel-core.h>

namespace {

EngineConfigValues g_values;

struct LumoEngineConfig {
    GObject parent_instance;
};
struct LumoEngineConfigClass {
    GObjectClass parent_class;
};

void lumo_engine_config_iface_init(RygelConfigurationIface* iface);

G_DEFINE_TYPE_WITH_CODE(LumoEngineConfig, lumo_engine_config, G_TYPE_OBJECT,
    G_IMPLEMENT_INTERFACE(RYGEL_TYPE_CONFIGURATION, lumo_engine_config_iface_init))

void lumo_engine_config_init(LumoEngineConfig*)
{
}
void lumo_engine_config_class_init(LumoEngineConfigClass*)
{
}

void NoValue(GError** error)
{
    g_set_error_literal(error, RYGEL_CONFIGURATION_ERROR, RYGEL_CONFIGURATION_ERROR_NO_VALUE_SET, "No value available");
}

gchar* Text(const std::string& value)
{
    return g_strdup(value.c_str());
}

gchar* GetInterface(RygelConfiguration*, GError** error)
{
    if (g_values.interfaces.empty()) {
        NoValue(error);
        return nullptr;
    }
    return Text(g_values.interfaces.front());
}

gchar** GetInterfaces(RygelConfiguration*, GError**)
{
    gchar** names = g_new0(gchar*, g_values.interfaces.size() + 1);
    for (size_t index = 0; index < g_values.interfaces.size(); ++index)
        names[index] = Text(g_values.interfaces[index]);
    return names;
}

gint GetPort(RygelConfiguration*, GError**)
{
    return g_values.port;
}

gboolean False(RygelConfiguration*, GError**)
{
    return FALSE;
}

gchar* GetLogLevels(RygelConfiguration*, GError** error)
{
    NoValue(error);
    return nullptr;
}

gchar* GetPluginPath(RygelConfiguration*, GError** error)
{
    // No plug-in folder: Rygel's server plug-ins are never loaded.
    NoValue(error);
    return nullptr;
}

gchar* GetEnginePath(RygelConfiguration*, GError**)
{
    return Text(g_values.enginePath);
}

gchar* GetMediaEngine(RygelConfiguration*, GError**)
{
    return Text(g_values.engineLibrary);
}

gchar* NoFolder(RygelConfiguration*, GError** error)
{
    NoValue(error);
    return nullptr;
}

gboolean GetEnabled(RygelConfiguration*, const gchar* section, GError** error)
{
    if (section && g_values.pluginName == section)
        return TRUE;
    NoValue(error);
    return FALSE;
}

gchar* GetTitle(RygelConfiguration*, const gchar* section, GError** error)
{
    if (section && g_values.pluginName == section)
        return Text(g_values.title);
    NoValue(error);
    return nullptr;
}

gchar* GetString(RygelConfiguration*, const gchar* section, const gchar* key, GError** error)
{
    if (section && key && g_values.pluginName == section) {
        if (g_str_equal(key, "uuid"))
            return Text(g_values.uuid);
        if (g_str_equal(key, "server-name"))
            return Text(g_values.serverHeader);
    }
    NoValue(error);
    return nullptr;
}

GeeArrayList* GetStringList(RygelConfiguration*, const gchar*, const gchar*, GError** error)
{
    NoValue(error);
    return nullptr;
}

gint GetInt(RygelConfiguration*, const gchar*, const gchar*, gint, gint, GError** error)
{
    NoValue(error);
    return 0;
}

GeeArrayList* GetIntList(RygelConfiguration*, const gchar*, const gchar*, GError** error)
{
    NoValue(error);
    return nullptr;
}

gboolean GetBool(RygelConfiguration*, const gchar*, const gchar*, GError** error)
{
    NoValue(error);
    return FALSE;
}

void lumo_engine_config_iface_init(RygelConfigurationIface* iface)
{
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    iface->get_interface = GetInterface;
    G_GNUC_END_IGNORE_DEPRECATIONS
    iface->get_interfaces = GetInterfaces;
    iface->get_port = GetPort;
    iface->get_transcoding = False;
    iface->get_allow_upload = False;
    iface->get_allow_deletion = False;
    iface->get_log_levels = GetLogLevels;
    iface->get_plugin_path = GetPluginPath;
    iface->get_engine_path = GetEnginePath;
    iface->get_media_engine = GetMediaEngine;
    iface->get_video_upload_folder = NoFolder;
    iface->get_music_upload_folder = NoFolder;
    iface->get_picture_upload_folder = NoFolder;
    iface->get_enabled = GetEnabled;
    iface->get_title = GetTitle;
    iface->get_string = GetString;
    iface->get_string_list = GetStringList;
    iface->get_int = GetInt;
    iface->get_int_list = GetIntList;
    iface->get_bool = GetBool;
}

} // namespace

void InstallEngineConfig(const EngineConfigValues& values)
{
    static bool registered = false;
    g_values = values;
    if (registered)
        return;
    registered = true;
    // Kept for the life of the process: Rygel's configuration list holds it without a way out.
    auto* config = static_cast<LumoEngineConfig*>(g_object_new(lumo_engine_config_get_type(), nullptr));
    rygel_meta_config_register_configuration(RYGEL_CONFIGURATION(config));
    g_object_unref(config);
}
