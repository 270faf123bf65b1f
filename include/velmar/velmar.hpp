#pragma once

// Everything a host application needs from VelmarSDK.
#include "velmar/base_interactor.hpp"
#include "velmar/entities/balance_entity.hpp"
#include "velmar/entities/currency_entity.hpp"
#include "velmar/entities/game_entity.hpp"
#include "velmar/entities/json_coding.hpp"
#include "velmar/entities/launch_game_entity.hpp"
#include "velmar/entities/log_in_entity.hpp"
#include "velmar/entities/player.hpp"
#include "velmar/entities/sign_up_entity.hpp"
#include "velmar/key_store.hpp"
#include "velmar/main_queue.hpp"
#include "velmar/observable.hpp"
#include "velmar/result_callback.hpp"
#include "velmar/session_configuration.hpp"
#include "velmar/types.hpp"
#include "velmar/use_case_errors.hpp"
