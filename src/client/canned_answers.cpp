#include "data/network/network_mock.hpp"
#include "velmar/client.hpp"

namespace velmar {

void Velmar::useCannedAnswers() { useNetworkProvider(std::make_shared<NetworkMock>()); }

}  // namespace velmar
