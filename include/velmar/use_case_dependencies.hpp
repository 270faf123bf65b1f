#pragma once

// What the use cases build their services from; a host gives its own collaborators here.

#include <memory>

#include "velmar/data_domain_mapper.hpp"
#include "velmar/export.hpp"
#include "velmar/network_provider.hpp"
#include "velmar/preference_data.hpp"

namespace velmar {

/// A use case's collaborators. Each member may be absent and then takes its default: the
/// process-wide HTTP provider, the default status mapper, the key-store-backed
/// `PreferenceData`. The use case creates its services from them on first use and keeps them.
class VELMAR_EXPORT UseCaseDependencies {
 public:
  /// Every member absent.
  UseCaseDependencies();
  /// Members given here replace the defaults.
  explicit UseCaseDependencies(std::shared_ptr<NetworkProvider> network,
                               std::shared_ptr<DataDomainMapperProvider> dataDomainMapper = {},
                               std::shared_ptr<PreferenceDataSource> preferenceData = {});

  /// The provider every request goes through; null for the process-wide HTTP provider.
  const std::shared_ptr<NetworkProvider>& network() const { return network_; }
  /// The status-to-error mapper; null for the default.
  const std::shared_ptr<DataDomainMapperProvider>& dataDomainMapper() const {
    return dataDomainMapper_;
  }
  /// The credential store; a `PreferenceData` is created on the first read when none was given.
  const std::shared_ptr<PreferenceDataSource>& preferenceData();

 private:
  std::shared_ptr<NetworkProvider> network_;
  std::shared_ptr<DataDomainMapperProvider> dataDomainMapper_;
  std::shared_ptr<PreferenceDataSource> preferenceData_;
};

/// The game use case's collaborators.
using GameUseCaseDependencies = UseCaseDependencies;
/// The utilities use case's collaborators.
using UtilsUseCaseDependencies = UseCaseDependencies;

}  // namespace velmar
