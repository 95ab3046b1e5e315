// A core header that stays in its layer: the layer check must not name it.
#pragma once
#include <string>
#include "text_order.hpp"
