#include "ptz/NativePTZInterface.h"

NativePTZInterface::NativePTZInterface(QObject* parent)
    : QObject(parent)
{
}

NativePTZInterface::~NativePTZInterface() = default;

void NativePTZInterface::command(QString, bool, float, float, float, int, int, int, int, int)
{
}

QString NativePTZInterface::control_mode()
{
    return QString();
}
