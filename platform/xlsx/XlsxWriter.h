#pragma once
#include "platform/xlsx/ExportSource.h"

#include <QString>

namespace xlsx {

// Writes the grid `src` to an XLSX workbook at `path`: a bold, frozen header
// row with an autofilter, the rows (group rows bold, their rows outlined
// beneath them, all expanded), then the footer sums as SUM formulas that
// carry their values. Rows are streamed, so memory stays flat however many
// there are.
//
// The workbook is written beside the target under a temporary name and moved
// over it only when complete: a failed or cancelled export leaves an existing
// file as it was and no partial file behind.
//
// Throws AppError `Cannot create file "<path>". <system reason>` when the file
// cannot be written, and AppError("Export cancelled") when `progress`
// returns false.
void writeWorkbook(const QString &path, const ExportSource &src, const Progress &progress = {});

} // namespace xlsx
