#pragma once

#include <QWidget>

// TODO: window layout.
class FrmAbout : public QWidget
{
    Q_OBJECT
public:
    explicit FrmAbout(QWidget* parent = nullptr);
};
