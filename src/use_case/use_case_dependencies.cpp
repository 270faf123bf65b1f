#include "velmar/use_case_dependencies.hpp"

#include "support/lazy.hpp"
#include "velmar/player_use_case.hpp"

namespace velmar {

UseCaseDependencies::UseCaseDependencies() = default;

UseCaseDependencies::UseCaseDependencies(std::shared_ptr<NetworkProvider> network,
                                         std::shared_ptr<DataDomainMapperProvider> dataDomainMapper,
                                         std::shared_ptr<PreferenceDataSource> preferenceData)
    : network_(std::move(network)),
      dataDomainMapper_(std::move(dataDomainMapper)),
      preferenceData_(std::move(preferenceData)) {}

const std::shared_ptr<PreferenceDataSource>& UseCaseDependencies::preferenceData() {
  return createOnFirstUse(preferenceData_, [] { return std::make_shared<PreferenceData>(); });
}

PlayerUseCaseDependencies::PlayerUseCaseDependencies() = default;

PlayerUseCaseDependencies::PlayerUseCaseDependencies(UseCaseDependencies services,
                                                     std::shared_ptr<GameUseCase> gameUseCase)
    : UseCaseDependencies(std::move(services)), gameUseCase_(std::move(gameUseCase)) {}

}  // namespace velmar
