// "Calc FWHM" on the real window (offscreen): the "FWHM values from
// dataset" box with a fitted law, saved as PNG in the build folder for
// review, and "Save values" taking the shown values.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPixmap>
#include <QWidget>
#include <cmath>
#include <filesystem>
#include <random>

#include "commands/fit_gamma.h"
#include "core/store.h"
#include "qt_driver.h"
#include "ui/widgets.h"

namespace tarnivox::uitest {
namespace {

namespace fs = std::filesystem;

TEST(FwhmBoxOnQt, PictureOfTheFittedLawAndSave) {
    reset_store();
    const fs::path dir = fs::path(TARNIVOX_BINARY_DIR) / "fwhm_review";
    fs::create_directories(dir);
    // Widths of 60 reflections on 0.085 + 0.31 tan|theta| with their esds.
    std::mt19937_64 rng(5);
    std::normal_distribution<double> z(0.0, 1.0);
    G.PREPFLAG = 1;
    G.NUBREF = 60;
    for (int i = 1; i <= 60; ++i) {
        G.TTHREF(i) = 6.0 + i;
        G.FWSREF(i) = 0.004;
        G.FWREF(i) = 0.085 + 0.31 * std::tan(G.TTHREF(i) * M_PI / 360.0) + 0.004 * z(rng);
    }
    QtDriver driver;
    driver.start({});
    QString shown_a, shown_esd_b;
    bool pictured = false;
    driver.then([&] {
        QWidget* box = qt().item(wid(DLG_FWHM)).widget.data();
        if (!box || !box->isVisible()) return false;
        auto* a = qobject_cast<QLineEdit*>(qt().item(wid(FW_A)).widget.data());
        auto* eb = qobject_cast<QLineEdit*>(qt().item(wid(FW_ESDB)).widget.data());
        if (a) shown_a = a->text();
        if (eb) shown_esd_b = eb->text();
        pictured = box->grab().save(QString::fromStdString((dir / "tarnivox_fwhm_values.png").string()));
        return true;
    });
    driver.then([] {
        auto* b = qobject_cast<QAbstractButton*>(qt().item(wid(FW_SAVE)).widget.data());
        if (!b || !b->isVisible()) return false;
        b->click();
        return true;
    });
    FIT_GAMMA();
    EXPECT_TRUE(pictured);
    EXPECT_TRUE(driver.finished());
    // The 6.3 fields show the law to three decimals; saved as shown.
    EXPECT_EQ(shown_a.trimmed().left(4), "0.08");
    EXPECT_FALSE(shown_esd_b.trimmed().isEmpty());
    EXPECT_NEAR(G.FWHMA, 0.085, 0.003);
    EXPECT_NEAR(G.FWHMB, 0.31, 0.01);
    EXPECT_FALSE(qt().item(wid(DLG_FWHM)).widget->isVisible());
    set_toolkit_backend(nullptr);
}

}  // namespace
}  // namespace tarnivox::uitest
