#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// The Options dialog: the four sampling settings and the user-interface language. It only
// edits what the main window puts in and reads back after Ok; a new language takes effect at
// the next start.
class OptionDialog : public QDialog
{
    Q_OBJECT
public:
    explicit OptionDialog(bool fixedLanguage, QWidget *parent = nullptr);
    ~OptionDialog() override;

    // Index 0 is English, 1 Chinese. Setting it is not a choice by the user: no restart
    // message follows.
    void setLanguageIndex(int index);
    int languageIndex() const;

public slots:
    void slotBtnClicked();
    void on_infinite_toggled(bool checked);

private slots:
    void on_cbbLanguage_currentIndexChanged(int index);
    // A low limit above the high one would put every reading outside: Ok waits until they are
    // in order, and a hint says why.
    void checkLimits();

private:
    void buildLayout();

    // With a fixed language the language row is not shown.
    bool fixedLanguage;
    int initialLanguageIndex = 0;
    int currentLanguageIndex = 0;

public:
    // The sampling controls, filled and read back by the main window.
    QSpinBox *const sbSamplePoints;
    QSpinBox *const sbSampleRate;
    QCheckBox *const chkSkipRepeat;
    QCheckBox *const chkInfinite;
    // Opens a lost link again every 2 s.
    QCheckBox *const chkReconnect;
    // The MQTT broker readings are published to (empty: none) and the meter's name there.
    QLineEdit *const leMqttUrl;
    QLineEdit *const leMqttName;
    // The alarm limits in the readings' unit; empty for none.
    QLineEdit *const leLowLimit;
    QLineEdit *const leHighLimit;

private:
    QLabel *const lblLimitHint;
    QPushButton *const btnOk;
    QPushButton *const btnCancel;
    QComboBox *const cbbLanguage;
};
