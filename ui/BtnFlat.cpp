#include "ui/BtnFlat.h"

#include "ui/FlatButtonStyle.h"

#include <QPushButton>

namespace glintmark::ui {

void btnFlat(QPushButton* Button)
{
    Button->setStyle(FlatButtonStyle::instance());
    Button->setVisible(true);
}

bool isFlatButton(const QPushButton* button)
{
    return button->style() == FlatButtonStyle::instance();
}

} // namespace glintmark::ui
