#pragma once
// The display while the Push shows no host page: the product's name, the state of the Cubase
// connection, the versions involved, a set-up hint and a panel of diagnostic lines.

#include "PushDisplay/Canvas.h"
#include "PushDisplay/StatusModel.h"

namespace corvane::StatusScreen {

void draw(Canvas& canvas, const StatusModel& model);

}  // namespace corvane::StatusScreen
