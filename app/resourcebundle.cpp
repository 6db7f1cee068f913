#include "app/resourcebundle.h"

#include <QtGlobal>

void registerResources()
{
    Q_INIT_RESOURCE(resources);
}
