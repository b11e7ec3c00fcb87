// Export...: the selected recipes, a category or all, in one of the four formats,
// scaled to a number of servings and in the measures asked for.
#pragma once

#include "app/Prompter.h"
#include "cookbookio/Exporter.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace zestrel::cookbookui
{

class ExportDialog : public QDialog
{
    Q_OBJECT
  public:
    ExportDialog(cookbook::Cookbook &store, Prompter &prompter, const QList<qint64> &selected,
                 QWidget *parent = nullptr);

    cookbook::ExportSelection Selection() const;
    cookbook::ExportOptions Options() const;
    QString OutPath() const;

    // The "Export" button: writes the file and says how it went; true when written.
    bool ExportNow();

  private:
    void FormatChanged();
    void Browse();

    cookbook::Cookbook &store_;
    Prompter &prompter_;
    QList<qint64> selected_;
    QRadioButton *optSelected_, *optCategory_, *optAll_;
    QComboBox *cboCategory_, *cboFormat_, *cboMeasures_;
    QSpinBox *spnServings_;
    QLineEdit *txtTitle_, *txtOutFile_;
    QLabel *lblResult_;
};

} // namespace zestrel::cookbookui
