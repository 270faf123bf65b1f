#pragma once

#include <memory>

#include "support/lazy.hpp"
#include "data/mapper/data_domain_mapper.hpp"
#include "velmar/network_provider.hpp"
#include "data/network/network_service.hpp"
#include "velmar/preference_data.hpp"

namespace velmar {

// Collaborators of a service, each created on first read and then kept.
class NetworkDependencies {
 public:
  NetworkDependencies() = default;
  NetworkDependencies(std::shared_ptr<DataDomainMapperProvider> dataDomainMapper,
                      std::shared_ptr<NetworkProvider> network)
      : dataDomainMapper_(std::move(dataDomainMapper)), network_(std::move(network)) {}

  const std::shared_ptr<DataDomainMapperProvider>& dataDomainMapper() {
    return dataDomainMapper_.get(&DataDomainMapper::inject);
  }
  const std::shared_ptr<NetworkProvider>& network() {
    return network_.get(&NetworkService::inject);
  }

 private:
  Lazy<DataDomainMapperProvider> dataDomainMapper_;
  Lazy<NetworkProvider> network_;
};

// The same, plus the credential store.
class StoringNetworkDependencies : public NetworkDependencies {
 public:
  StoringNetworkDependencies() = default;
  StoringNetworkDependencies(std::shared_ptr<PreferenceDataSource> preferenceData,
                             std::shared_ptr<DataDomainMapperProvider> dataDomainMapper,
                             std::shared_ptr<NetworkProvider> network)
      : NetworkDependencies(std::move(dataDomainMapper), std::move(network)),
        preferenceData_(std::move(preferenceData)) {}

  const std::shared_ptr<PreferenceDataSource>& preferenceData() {
    return preferenceData_.get([] { return std::make_shared<PreferenceData>(); });
  }

 private:
  Lazy<PreferenceDataSource> preferenceData_;
};

using LogInServiceDependencies = NetworkDependencies;
using GameServiceDependencies = NetworkDependencies;
using SignUpServiceDependencies = StoringNetworkDependencies;
using UtilsServiceDependencies = StoringNetworkDependencies;

}  // namespace velmar
