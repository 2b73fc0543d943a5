#include "ctpush.h"

#include <QIcon>

void CtPush::setBild(const QString& resource, const QString& beschreibung) {
    setIcon(QIcon(resource));
    setIconSize(QSize(20, 20));
    setToolTip(beschreibung);
    setAccessibleName(beschreibung);
}
