// Everything the toolkit offers, in one include.
#pragma once

#include "gui/Base.h"
#include "gui/Bitmap.h"
#include "gui/Color.h"
#include "gui/Control.h"
#include "gui/Controls.h"
#include "gui/DragContainer.h"
#include "gui/DrawContext.h"
#include "gui/Events.h"
#include "gui/FileSelector.h"
#include "gui/Font.h"
#include "gui/Frame.h"
#include "gui/Geometry.h"
#include "gui/IPlatformFrame.h"
#include "gui/Timer.h"
#include "gui/View.h"
