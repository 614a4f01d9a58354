// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ccategory.h"

#include <QString>

// Every delete confirmation says what goes after the question itself: a row may have been selected
// by the pointer resting on it, and the user must see which one the answer deletes.
QString deleteQuestion(const QString& question, const QString& whatGoes);

// "\"Board minutes\"" for one item, "3 items" for several.
QString itemsGoing(const CLinkItems& items);
// "\"Office documents\" with 2 subcategories and 14 items".
QString categoryGoing(const QString& name, int subcategories, long long items);
