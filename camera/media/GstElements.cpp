#include "camera/media/GstElements.h"

#include <gst/gst.h>

QStringList MissingGstElements(const QString& pipeline) {
    if (!gst_init_check(nullptr, nullptr, nullptr))
        return {};
    // Parsing makes the elements but starts nothing; the context keeps the names it could not
    // make.
    GstParseContext* context = gst_parse_context_new();
    GError* error = nullptr;
    GstElement* parsed =
        gst_parse_launch_full(pipeline.toUtf8().constData(), context, GST_PARSE_FLAG_NONE, &error);
    if (parsed)
        gst_object_unref(parsed);
    g_clear_error(&error);
    QStringList missing;
    if (gchar** names = gst_parse_context_get_missing_elements(context)) {
        for (gchar** name = names; *name; ++name)
            missing << QString::fromUtf8(*name);
        g_strfreev(names);
    }
    gst_parse_context_free(context);
    return missing;
}
