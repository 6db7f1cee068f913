#include "meter/linkbackend.h"

LinkBackend::LinkBackend(QObject *parent)
    : QObject(parent)
{
}
