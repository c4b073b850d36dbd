#include "resources/Resources.h"

#include <QtGlobal>

static void registerBundles()
{
    Q_INIT_RESOURCE(images);
    Q_INIT_RESOURCE(labels);
    Q_INIT_RESOURCE(schema);
}

void krn::initResources()
{
    static const bool registered = (registerBundles(), true);
    Q_UNUSED(registered);
}
