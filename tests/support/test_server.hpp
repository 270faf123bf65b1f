#pragma once

#include "support/raw_server.hpp"
