#include "pipeline/VipsSupport.h"

#include <gmodule.h>
#include <mutex>

namespace lumora::vips {

void ensureStarted()
{
    static std::once_flag once;
    std::call_once(once, [] {
        (void)VIPS_INIT("lumora");
        vips_cache_set_max(0);
        vips_cache_set_max_mem(0);
        vips_cache_set_max_files(0);
    });
}

void ensureHeifModule()
{
    ensureStarted();
    static std::once_flag once;
    std::call_once(once, [] {
        // Opening an open module only counts it again; a new one registers its loaders.
        if (!g_module_open(LUMORA_VIPS_MODULE_DIR "/vips-heif." G_MODULE_SUFFIX, G_MODULE_BIND_LAZY))
            g_warning("HEIF-Modul von libvips nicht geladen: %s", g_module_error());
    });
}

QString takeError()
{
    QString text = QString::fromUtf8(vips_error_buffer()).trimmed();
    vips_error_clear();
    const qsizetype newline = text.indexOf(QLatin1Char('\n'));
    return newline < 0 ? text : text.left(newline);
}

} // namespace lumora::vips
