#pragma once
// The Qt widgets behind the toolkit's windows: a grid canvas that places
// widgets in cells (row 0 at the bottom) and keeps the graphics frame the
// part that grows with the window, and the graphics frame that paints a
// display list.

#include <QMainWindow>
#include <QMimeData>
#include <QWidget>
#include <functional>
#include <vector>

#include "toolkit/display_list.h"

namespace tarnivox {

// How a widget grows when its window is wider than its grid.
enum class Growth {
    Full,    // entries, captions and the plot: take the scaled width
    Capped,  // buttons: a little wider, centred on their scaled cells
};

class GridCanvas : public QWidget {
public:
    GridCanvas(int cols, int rows, int cell_w, int cell_h, int margin, QWidget* parent = nullptr);
    void place(QWidget* w, int x, int y, int cw, int ch, Growth growth);
    // The widget that takes the extra height of the window (the plot).
    void set_stretch(QWidget* w);
    QSize base_size() const;
    // The grid's size with the plot cut down to its least height: what a
    // small screen (or a large scale factor) can still show whole.
    QSize least_size() const;
    QSize sizeHint() const override { return base_size(); }
    QSize minimumSizeHint() const override { return least_size(); }
    void lay_out();

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    struct Placement {
        QWidget* w;
        int x, y, cw, ch;
        Growth growth;
    };
    std::vector<Placement> items_;
    QWidget* stretch_ = nullptr;
    int cols_, rows_, cell_w_, cell_h_, margin_;
};

// A dialog box of the program: its close control and Escape fire
// `on_close` instead of closing it, so that the routine running it sees its
// own command; Enter fires `on_confirm`.
class DialogWindow : public GridCanvas {
public:
    using GridCanvas::GridCanvas;
    std::function<void()> on_close;
    std::function<void()> on_confirm;

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
};

// The main window: its close control fires `on_close`; one local file
// dropped onto it goes to `on_drop`, which says whether it was taken.
class MainWindow : public QMainWindow {
public:
    MainWindow();
    std::function<void()> on_close;
    std::function<bool(const QString&)> on_drop;
    bool closing = false;  // the program ends: let the window go

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
};

// The one local file a drag carries; empty for anything else.
QString dropped_file(const QMimeData* data);

class FrameWidget : public QWidget {
public:
    explicit FrameWidget(QWidget* parent = nullptr);
    DisplayList list;
    // Starts a new picture in the frame's present extents.
    void reset_extents();
    // Writes the picture as SVG (a name ending in .svg) or as PNG (any
    // other name); false when the file cannot be written.
    bool save_picture(const QString& path);

protected:
    void paintEvent(QPaintEvent* e) override;
    // Right-click: save the plot as PNG or SVG.
    void contextMenuEvent(QContextMenuEvent* e) override;
};

}  // namespace tarnivox
