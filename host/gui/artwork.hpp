// The artwork of the screen, all drawn in code: the 16 x 16 images of the image lists (folders,
// the filter mark...), the toolbar glyphs in their normal and disabled looks, the backdrop of the
// layout panel, and the palette and fonts the toolkit names.
#pragma once

#include <QColor>
#include <QIcon>
#include <QFont>
#include <QPixmap>
#include <QRect>
#include <string>

class QPainter;
struct TFont;

// An image of an image list by its name ("pasta_fechada", "filtro"...); a blank one when unknown.
QPixmap ListImage(const std::string& name);
// A toolbar glyph ("excluir", "construir"...), grey when disabled.
QPixmap ButtonGlyph(const std::string& name, bool enabled);
// A colour by its toolkit name ("clBtnFace", "clInfoBk"...).
QColor SystemColor(const std::string& name);
// The font the toolkit describes ("MS Sans Serif" 8 pt and its relatives, drawn with a sans font).
QFont ScreenFont(const TFont& font);
// The program's own icon, in the sizes window managers ask for: a small pivot grid, its header band
// and first column shaded, a bar rising from its lower right cell.
QIcon ProgramIcon();
// The backdrop behind the four zones: a pivot-table frame with a band across the top (pages), a
// column on the left (rows), a band at the upper right (columns) and a pale-yellow area at the lower
// right (facts), each zone with a header tab bearing a hierarchy or table symbol. `zones` gives the
// pages, rows, columns and facts rectangles, in the painter's coordinates.
void PaintPivotBackdrop(QPainter& p, const QRect& frame, const QRect zones[4]);
