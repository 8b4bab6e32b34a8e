#pragma once

#include <QWidget>

// The start-up window: source and output paths, Extract, About, logo and progress display.
class FrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit FrmMain(QWidget* parent = nullptr);
};
