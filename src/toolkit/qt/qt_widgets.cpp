#include "toolkit/qt/qt_widgets.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace tarnivox {

GridCanvas::GridCanvas(int cols, int rows, int cell_w, int cell_h, int margin, QWidget* parent)
    : QWidget(parent), cols_(cols), rows_(rows), cell_w_(cell_w), cell_h_(cell_h), margin_(margin) {
    setMinimumSize(base_size());
}

QSize GridCanvas::base_size() const { return {cols_ * cell_w_ + 2 * margin_, rows_ * cell_h_ + 2 * margin_}; }

namespace {
// The least height of the plot when the window must shrink to the screen.
constexpr int kLeastPlotHeight = 120;
}  // namespace

QSize GridCanvas::least_size() const {
    QSize s = base_size();
    for (const Placement& p : items_)
        if (p.w == stretch_) s.rheight() -= std::max(0, p.ch * cell_h_ - kLeastPlotHeight);
    return s;
}

void GridCanvas::place(QWidget* w, int x, int y, int cw, int ch, Growth growth) {
    items_.push_back({w, x, y, cw, ch, growth});
    lay_out();
}

void GridCanvas::set_stretch(QWidget* w) {
    stretch_ = w;
    setMinimumSize(least_size());
    lay_out();
}

void GridCanvas::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    lay_out();
}

void GridCanvas::lay_out() {
    const QSize base = base_size();
    const double sx = std::max(1.0, static_cast<double>(width() - 2 * margin_) / (cols_ * cell_w_));
    // Below the grid's height only the plot gives way.
    const int extra_h = std::max(least_size().height(), height()) - base.height();
    // Rows below the plot keep their distance from the bottom edge, rows
    // above it from the top edge; the plot takes the height in between.
    int stretch_lo = rows_, stretch_hi = rows_;
    for (const Placement& p : items_)
        if (p.w == stretch_) {
            stretch_lo = p.y;
            stretch_hi = p.y + p.ch;
        }
    const int h_total = rows_ * cell_h_ + extra_h;
    for (const Placement& p : items_) {
        const double left = margin_ + p.x * cell_w_ * sx;
        const double full_w = p.cw * cell_w_ * sx;
        double w = full_w;
        if (p.growth == Growth::Capped) w = std::min(full_w, p.cw * cell_w_ * std::min(sx, 1.3));
        const double x = left + (full_w - w) / 2.0;
        int bottom = p.y * cell_h_;  // from the bottom of the grid
        int h = p.ch * cell_h_;
        if (p.w == stretch_) {
            h += extra_h;
        } else if (p.y >= stretch_hi) {
            bottom += extra_h;
        } else if (p.y >= stretch_lo) {
            bottom += extra_h / 2;
        }
        const int top = margin_ + h_total - bottom - h;
        // A small gap inside the cells keeps neighbouring widgets apart.
        const int gap = p.w == stretch_ ? 0 : 2;
        p.w->setGeometry(static_cast<int>(std::lround(x)) + gap, top + gap,
                         std::max(1, static_cast<int>(std::lround(w)) - 2 * gap), std::max(1, h - 2 * gap));
    }
}

void DialogWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (on_close) on_close();
}

void DialogWindow::keyPressEvent(QKeyEvent* e) {
    // Escape would close a plain dialog behind the routine's back.
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        if (on_close) on_close();
        return;
    }
    // Enter on a focused button presses that button, not the box's OK.
    if (auto* b = qobject_cast<QPushButton*>(focusWidget());
        b && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        e->accept();
        b->click();
        return;
    }
    // Enter in the box (also after an entry has taken its value) confirms it.
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && on_confirm) {
        e->accept();
        on_confirm();
        return;
    }
    GridCanvas::keyPressEvent(e);
}

MainWindow::MainWindow() { setAcceptDrops(true); }

QString dropped_file(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
    const QUrl url = data->urls().front();
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (!dropped_file(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    const QString path = dropped_file(e->mimeData());
    if (!path.isEmpty() && on_drop && on_drop(path))
        e->acceptProposedAction();
    else
        e->ignore();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    if (closing) {
        e->accept();
        return;
    }
    // The close control is the program's "Exit": the command loop asks.
    e->ignore();
    if (on_close) on_close();
}

FrameWidget::FrameWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    setMinimumSize(120, 80);
    reset_extents();
}

void FrameWidget::reset_extents() {
    list.width = std::max(1, width());
    list.height = std::max(1, height());
}

bool FrameWidget::save_picture(const QString& path) {
    if (path.endsWith(".svg", Qt::CaseInsensitive)) {
        QFile f(path);
        const std::string svg = to_svg(list);
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               f.write(svg.data(), static_cast<qint64>(svg.size())) == static_cast<qint64>(svg.size());
    }
    return grab().save(path, "PNG");
}

void FrameWidget::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction("Save plot as PNG...");
    QAction* svg = menu.addAction("Save plot as SVG...");
    QAction* chosen = menu.exec(e->globalPos());
    if (!chosen) return;
    const bool as_svg = chosen == svg;
    QString path = QFileDialog::getSaveFileName(this, chosen->text().remove("..."), QString(),
                                                as_svg ? "SVG picture (*.svg)" : "PNG picture (*.png)");
    if (path.isEmpty()) return;
    const QString ext = as_svg ? ".svg" : ".png";
    if (!path.endsWith(ext, Qt::CaseInsensitive)) path += ext;
    if (!save_picture(path)) QMessageBox::warning(this, "Tarnivox", "The plot could not be written to " + path);
}

void FrameWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    // The picture was drawn in the extents the frame had when the plot
    // began; a resized window shows it scaled to the new size.
    const double sx = width() / std::max(1.0, list.width);
    const double sy = height() / std::max(1.0, list.height);
    auto map = [&](double x, double y) { return QPointF(x * sx, height() - y * sy); };
    double char_h = 10;
    int shown = 1;  // the palette index `colour` holds
    QColor colour(palette_colour(shown));
    replay(list.ops, [&](const DrawOp& op, double cx, double cy, int index) {
        if (index != shown) {
            shown = index;
            colour = QColor(palette_colour(shown));
        }
        switch (op.kind) {
            case DrawOp::Line: {
                QPen pen(colour);
                pen.setWidthF(1.2);
                pen.setCosmetic(true);
                p.setPen(pen);
                p.drawLine(map(cx, cy), map(op.x, op.y));
                break;
            }
            case DrawOp::FillRect:
                p.fillRect(QRectF(map(op.x, op.y), map(op.x2, op.y2)).normalized(), colour);
                break;
            case DrawOp::CharSize:
                if (op.y2 > 0) char_h = op.y2;
                break;
            case DrawOp::Text: {
                QFont f = font();
                // Labels shrink with a smaller frame but do not swell with a larger one.
                f.setPixelSize(
                    std::max(9, static_cast<int>(std::lround(char_h * std::min(1.0, std::min(sx, sy))))));
                p.setFont(f);
                p.setPen(colour);
                p.drawText(map(cx, cy), QString::fromStdString(op.text));
                break;
            }
            default: break;  // the pen moves and colour changes are followed by replay
        }
    });
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(160, 160, 160));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace tarnivox
