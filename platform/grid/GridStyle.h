#pragma once
#include <QColor>
#include <QFont>
#include "platform/ui/Ui.h"

namespace grid {

// Colours and fonts of every element of a grid view. One instance is shared
// by all grids of the program, so they look alike.
struct GridStyle {
    static QFont baseFont(bool bold = false)
    {
        return ui::designFont(QStringLiteral("MS Sans Serif"), 8, bold);
    }

    QColor background{0xFF, 0xFB, 0xF0};      // area without rows
    QColor content{0xD9, 0xEA, 0xF7};         // data cells
    QColor contentText{Qt::black};
    QFont contentFont = baseFont();
    QColor evenRow{0xD9, 0xEA, 0xF7};         // first, third, ... row
    QColor oddRow{0xEA, 0xF3, 0xFB};          // second, fourth, ... row
    QColor rowText{Qt::black};
    QColor filterBox{0xFF, 0xFF, 0xE1};
    QColor filterBoxText{Qt::black};
    QColor incSearch{0xFE, 0xD5, 0x47};
    QColor incSearchText{Qt::black};
    QColor footer{0xFF, 0xFF, 0xE1};
    QColor footerText{0x00, 0x00, 0x80};
    QFont footerFont = baseFont(true);
    QColor groupRow{0xF1, 0xEF, 0xE2};
    QColor groupByBox{0xFE, 0xD5, 0x47};
    QColor groupByBoxText{Qt::black};
    QColor header{0x31, 0x6A, 0xC5};
    QColor headerText{Qt::white};
    QFont headerFont = baseFont(true);
    QColor inactiveSelection{0xA4, 0xC4, 0xEB};
    QColor indicator{0xA4, 0xC4, 0xEB};
    QColor preview{0xFF, 0xFF, 0xE1};
    QColor previewText{0x00, 0x00, 0x80};
    QFont previewFont = baseFont(true);
    QColor selection{0x31, 0x6A, 0xC5};
    QColor selectionText{Qt::white};
};

} // namespace grid
