#include "artwork.hpp"

#include <QPainter>
#include <QPainterPath>
#include <map>

#include "toolkit/types.hpp"

namespace {

QPixmap canvas(int size = 16) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    return pm;
}

void folder(QPainter& p, bool open, QColor fill, QColor line, bool outlineOnly) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(line, 1));
    // The back with its tab.
    QPainterPath back;
    back.moveTo(1.5, 4.5);
    back.lineTo(5.5, 4.5);
    back.lineTo(6.5, 3.0);
    back.lineTo(10.5, 3.0);
    back.lineTo(11.5, 4.5);
    back.lineTo(14.5, 4.5);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setBrush(outlineOnly ? Qt::NoBrush : QBrush(fill.darker(112)));
    p.drawPath(back);
    QPainterPath front;
    if (open) {
        front.moveTo(3.5, 7.5);
        front.lineTo(15.5, 7.5);
        front.lineTo(13.0, 13.5);
        front.lineTo(1.0, 13.5);
    } else {
        front.moveTo(1.5, 6.5);
        front.lineTo(14.5, 6.5);
        front.lineTo(14.5, 13.5);
        front.lineTo(1.5, 13.5);
    }
    front.closeSubpath();
    p.setBrush(outlineOnly ? Qt::NoBrush : QBrush(fill));
    p.drawPath(front);
}

QPixmap draw(const std::string& name) {
    QPixmap pm = canvas();
    QPainter p(&pm);
    const QColor yellow(0xF5, 0xCB, 0x4C), brown(0x9C, 0x6B, 0x10), grey(0x8A, 0x8A, 0x8A);
    if (name == "pasta_fechada") folder(p, false, yellow, brown, false);
    else if (name == "pasta_aberta") folder(p, true, yellow, brown, false);
    else if (name == "pasta_aberta_amarela") folder(p, true, QColor(0xFF, 0xD8, 0x2E), brown, false);
    else if (name == "pasta_contorno_cinza") folder(p, true, Qt::transparent, grey, true);
    else if (name == "filtro") {
        // A funnel.
        p.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath funnel;
        funnel.moveTo(1.5, 2.5);
        funnel.lineTo(14.5, 2.5);
        funnel.lineTo(9.5, 8.5);
        funnel.lineTo(9.5, 13.5);
        funnel.lineTo(6.5, 15.0);
        funnel.lineTo(6.5, 8.5);
        funnel.closeSubpath();
        p.setPen(QPen(QColor(0x1F, 0x4E, 0x9A), 1));
        p.setBrush(QColor(0x5B, 0x9B, 0xE6));
        p.drawPath(funnel);
    } else if (name == "cubo" || name == "tabela" || name == "documento" || name == "dimensao" || name == "hierarquia") {
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.setBrush(Qt::white);
        p.drawRect(2, 2, 11, 11);
        p.drawLine(2, 6, 13, 6);
        p.drawLine(6, 2, 6, 13);
    }
    return pm;
}

QPixmap glyph(const std::string& name) {
    QPixmap pm = canvas();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    auto bin = [&](double x, double scale) {
        QColor line(0x30, 0x30, 0x30), body(0xB8, 0xC4, 0xCC);
        p.setPen(QPen(line, 1));
        p.setBrush(body);
        p.drawRect(QRectF(x + 1.5 * scale, 4.5, 8 * scale, 10));
        p.drawRect(QRectF(x + 0.5 * scale, 2.5, 10 * scale, 2));
        p.drawLine(QPointF(x + 4 * scale, 6.5), QPointF(x + 4 * scale, 12.5));
        p.drawLine(QPointF(x + 7 * scale, 6.5), QPointF(x + 7 * scale, 12.5));
    };
    if (name == "excluir") {
        bin(2.5, 1.0);
    } else if (name == "excluir_todos") {
        bin(0.0, 0.7);
        bin(7.5, 0.7);
    } else if (name == "construir") {
        // A cube drawn as a table, its right side red.
        QPolygonF top{{3, 5}, {8, 2}, {14, 4}, {9, 7}}, front{{3, 5}, {9, 7}, {9, 14}, {3, 12}}, side{{9, 7}, {14, 4}, {14, 11}, {9, 14}};
        p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
        p.setBrush(QColor(0xE8, 0xE8, 0xE8));
        p.drawPolygon(top);
        p.setBrush(Qt::white);
        p.drawPolygon(front);
        p.drawLine(QPointF(3, 8.5), QPointF(9, 10.5));
        p.drawLine(QPointF(6, 6), QPointF(6, 13));
        p.setBrush(QColor(0xD0, 0x20, 0x20));
        p.drawPolygon(side);
    } else if (name == "atualizar") {
        p.setPen(QPen(QColor(0x1E, 0x7A, 0x1E), 2));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 40 * 16, 270 * 16);
        p.setBrush(QColor(0x1E, 0x7A, 0x1E));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF{{10, 1}, {15, 4}, {10, 7}});
    } else if (name == "ajuda") {
        p.setPen(QPen(QColor(0x1F, 0x4E, 0x9A), 1));
        p.setBrush(QColor(0xD6, 0xE6, 0xFA));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        QFont f("DejaVu Sans");
        f.setPixelSize(11);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRectF(1.5, 1.5, 13, 13), Qt::AlignCenter, "?");
    } else if (name == "fechar") {
        p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
        p.setBrush(QColor(0xC8, 0x9B, 0x5A));
        p.drawRect(QRectF(3.5, 1.5, 9, 13));
        p.setPen(QPen(QColor(0xB0, 0x10, 0x10), 2));
        p.drawLine(QPointF(5.5, 5), QPointF(10.5, 10));
        p.drawLine(QPointF(10.5, 5), QPointF(5.5, 10));
    } else {
        p.setPen(QColor(0x40, 0x40, 0x40));
        p.drawLine(3, 5, 13, 5);
        p.drawLine(3, 8, 11, 8);
        p.drawLine(3, 11, 9, 11);
    }
    return pm;
}

QPixmap greyed(const QPixmap& pm) {
    QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            QColor c = img.pixelColor(x, y);
            int g = 150 + qGray(c.rgb()) / 4;
            img.setPixelColor(x, y, QColor(g, g, g, c.alpha()));
        }
    return QPixmap::fromImage(img);
}

// The header tab of a zone, with its symbol: a hierarchy for the dimension zones, a table for facts.
void tab(QPainter& p, const QRect& zone, bool table) {
    QRect t(zone.left(), zone.top() - 19, 96, 19);
    QPainterPath path;
    path.addRoundedRect(QRectF(t).adjusted(0.5, 0.5, -0.5, 8), 4, 4);
    p.setPen(QColor(0x7F, 0x8C, 0x9D));
    p.setBrush(QColor(0xDB, 0xE4, 0xF0));
    p.drawPath(path);
    p.setPen(QColor(0x30, 0x40, 0x60));
    int x = t.left() + 5, y = t.top() + 4;
    if (table) {
        p.setBrush(Qt::white);
        p.drawRect(x, y, 11, 10);
        p.drawLine(x, y + 3, x + 11, y + 3);
        p.drawLine(x + 4, y, x + 4, y + 10);
    } else {
        p.setBrush(QColor(0x5B, 0x9B, 0xE6));
        p.drawRect(x + 4, y, 4, 3);
        p.drawRect(x, y + 7, 4, 3);
        p.drawRect(x + 8, y + 7, 4, 3);
        p.drawLine(x + 6, y + 3, x + 6, y + 5);
        p.drawLine(x + 2, y + 5, x + 10, y + 5);
        p.drawLine(x + 2, y + 5, x + 2, y + 7);
        p.drawLine(x + 10, y + 5, x + 10, y + 7);
    }
}

}  // namespace

QPixmap ListImage(const std::string& name) {
    static std::map<std::string, QPixmap> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, draw(name)).first;
    return it->second;
}

QPixmap ButtonGlyph(const std::string& name, bool enabled) {
    static std::map<std::pair<std::string, bool>, QPixmap> cache;
    auto key = std::make_pair(name, enabled);
    auto it = cache.find(key);
    if (it == cache.end()) it = cache.emplace(key, enabled ? glyph(name) : greyed(glyph(name))).first;
    return it->second;
}

QColor SystemColor(const std::string& name) {
    static const std::map<std::string, QColor> colours{
        {"clBtnFace", QColor(0xEC, 0xE9, 0xD8)}, {"clInfoBk", QColor(0xFF, 0xFF, 0xE1)}, {"clWindow", Qt::white},
        {"clSilver", QColor(0xC0, 0xC0, 0xC0)},  {"clGray", QColor(0x80, 0x80, 0x80)},  {"clWindowText", Qt::black},
        {"clHighlight", QColor(0x31, 0x6A, 0xC5)}, {"clHighlightText", Qt::white},      {"clBtnShadow", QColor(0xAC, 0xA8, 0x99)}};
    auto it = colours.find(name);
    return it == colours.end() ? QColor(0xEC, 0xE9, 0xD8) : it->second;
}

QFont ScreenFont(const TFont& font) {
    QFont f("DejaVu Sans");
    // Point sizes of the form as designed, at the 96 dots per inch it was drawn for.
    f.setPixelSize(font.Size <= 8 ? 11 : font.Size * 4 / 3);
    f.setBold(font.Bold);
    return f;
}

void PaintPivotBackdrop(QPainter& p, const QRect& frame, const QRect zones[4]) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x7F, 0x8C, 0x9D));
    p.setBrush(QColor(0xF4, 0xF6, 0xFA));
    p.drawRect(frame.adjusted(0, 0, -1, -1));
    for (int i = 0; i < 4; ++i) {
        tab(p, zones[i], i == 3);
        p.setPen(QColor(0x7F, 0x8C, 0x9D));
        p.setBrush(Qt::NoBrush);
        p.drawRect(zones[i].adjusted(-1, -1, 0, 0));
    }
    p.restore();
}

QIcon ProgramIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pm = canvas(size);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing, true);
        const qreal u = size / 16.0;  // drawn on a 16-unit grid, scaled
        p.scale(u, u);
        // The sheet, its header band and its row-label column.
        p.setPen(QPen(QColor(40, 70, 120), 0.8));
        p.setBrush(QColor(250, 250, 245));
        p.drawRoundedRect(QRectF(1.0, 1.0, 14.0, 14.0), 1.5, 1.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 120, 190));
        p.drawRect(QRectF(1.4, 1.4, 13.2, 3.6));
        p.setBrush(QColor(255, 236, 160));
        p.drawRect(QRectF(1.4, 5.0, 3.6, 9.6));
        // The grid lines.
        p.setPen(QPen(QColor(150, 165, 190), 0.5));
        for (qreal x : {5.0, 8.2, 11.4}) p.drawLine(QPointF(x, 5.0), QPointF(x, 14.6));
        for (qreal y : {8.2, 11.4}) p.drawLine(QPointF(5.0, y), QPointF(14.6, y));
        // A rising bar, the sums the grid shows.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 150, 90));
        p.drawRect(QRectF(6.0, 11.0, 1.6, 3.0));
        p.drawRect(QRectF(9.2, 9.0, 1.6, 5.0));
        p.drawRect(QRectF(12.4, 6.2, 1.6, 7.8));
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
