// A data-layer header that reaches into the toolkit and the screen: the layer check must name both.
#pragma once
#include "packet.hpp"
#include "core/component.hpp"
#include "toolkit/form.hpp"
#include "screen/unit_globals.hpp"
