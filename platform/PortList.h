// The COM port choice of both programs' windows: an editable list of the
// ports that open now, and the settings file that remembers the last choice
// (section "Defaults", key "Comport").
#pragma once

#include <QString>

class QComboBox;

namespace PortList {

// The settings file: the program file's path with the extension ".ini".
QString settingsFile();

// The port the settings file remembers, or an empty string.
QString readSaved();
void writeSaved(const QString& port);

// Makes `box` an edit field for looking, not for adding ports: typed text
// never becomes an item, and no completion picks an item behind the user's
// back.
void prepare(QComboBox* box);

// Fills `box` with the ports that open, each named by `nameFormat` with its
// number ("COM%1") and carrying its device path as tip. Filling is not the
// user's choice: `box` sends no signal.
void fill(QComboBox* box, const QString& nameFormat);

// Selects the item named `saved` (in any case), else the first item; an empty
// list keeps no selection. Not the user's choice either: no signal, so
// nothing is saved.
void choose(QComboBox* box, const QString& saved);

// The selected port's name, or an empty string when no item is selected.
QString selected(const QComboBox* box);

// Typing into the edit field leaves no item selected, without a signal; the
// field keeps what the user typed, and the cursor stays where it was.
void keepTyped(QComboBox* box, const QString& text);

} // namespace PortList
