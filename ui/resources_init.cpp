#include "ui/resources_init.h"

#include <QtCore/qglobal.h>

// Outside any namespace, as the resource initialiser requires.
static void InitResourcesOnce() {
    Q_INIT_RESOURCE(resources);
}

void InitUiResources() {
    static const bool done = (InitResourcesOnce(), true);
    (void)done;
}
