#pragma once

#include <QWidget>

// TODO: window layout.
class FrmBrowse : public QWidget
{
    Q_OBJECT
public:
    explicit FrmBrowse(QWidget* parent = nullptr);
};
