#pragma once
// Opt_Legend_Form: shows one explanatory picture from the application folder
// (the calculation flow, the distributions, the replacement). The settings
// windows open it through ShowLegend as well.

#include <QDialog>
#include <string>

namespace korvane {

class UserInterface;

class LegendWindow : public QDialog {
    Q_OBJECT
public:
    explicit LegendWindow(QWidget* parent = nullptr);
    // Loads the picture; false when it cannot be read.
    bool loadPicture(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

// Opens the legend window modal with the picture at `relativePath` (for
// example "\legend_files\Calc_Flow.BMP") under the application folder. A
// missing picture shows a message instead.
void ShowLegend(QWidget* parent, UserInterface& ui, const std::string& relativePath, const std::string& appFolder);

}  // namespace korvane
