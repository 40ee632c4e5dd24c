// The about box: product name, version, the maker's notice and web link.
#pragma once

#include "AboutBox.h"

class TAboutBox : public TAboutForm {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* owner);
};
