#pragma once

#include <QFrame>

// Chart of the recorded readings against their sample position.
class DMMChart : public QFrame
{
    Q_OBJECT
public:
    explicit DMMChart(QWidget *parent = nullptr);
};
