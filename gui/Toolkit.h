// Everything the toolkit offers, in one include.
#pragma once

#include "gui/Base.h"
#include "gui/Bitmap.h"
#include "gui/Control.h"
#include "gui/Controls.h"
#include "gui/DragContainer.h"
#include "gui/DrawContext.h"
#include "gui/FileSelector.h"
#include "gui/Font.h"
#include "gui/Frame.h"
#include "gui/Timer.h"
#include "gui/View.h"
#include "platform/Color.h"
#include "platform/Events.h"
#include "platform/Geometry.h"
#include "platform/Windows.h"
