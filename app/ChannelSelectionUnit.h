// The channel check list: its user fills ChannelListBox with channel names
// and, after OK, takes the checked ones.
#pragma once

#include "Forms.h"

class QPushButton;
class TCheckListBox;

class TChannelSelectionForm : public TForm {
    Q_OBJECT
public:
    explicit TChannelSelectionForm(QWidget* owner);

    TCheckListBox* ChannelListBox = nullptr;
    QPushButton* OkBtn = nullptr;
};
