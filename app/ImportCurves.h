#pragma once
// "Import Curves": the options of reading IV text files into a new session,
// the same as lpanalyse offers for text files (decimal comma, sorting, the
// sweeps the deviation columns stand for, the probe mode, the noise-robust
// analysis).
#include "IvText.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QSpinBox;

class ImportCurvesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ImportCurvesDialog(QWidget* parent = nullptr);
    ivtext::ImportOptions options() const;
    int probeMode() const;
    bool noiseRobust() const;

    QCheckBox* decimalCommaBox() const { return m_decimalComma; }
    QCheckBox* sortBox() const { return m_sort; }
    QComboBox* modeBox() const { return m_mode; }
    QCheckBox* robustBox() const { return m_robust; }

private:
    QCheckBox* m_decimalComma;
    QCheckBox* m_sort;
    QSpinBox* m_sweeps;
    QComboBox* m_mode;
    QCheckBox* m_robust;
};
