/* Rygel loads a media engine only from a shared library with this entry point. LumoServer
 * registers its engine type before asking Rygel for an engine, so the library holds nothing
 * but this lookup; loaded by anything else it answers null. */
#include <glib-object.h>

__attribute__((visibility("default"))) GObject* module_get_instance(void);

GObject* module_get_instance(void)
{
    GType type = g_type_from_name("LumoMediaEngine");
    if (type == 0)
        return NULL;
    return g_object_new(type, NULL);
}
