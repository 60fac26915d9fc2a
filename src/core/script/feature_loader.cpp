#include "core/script/feature_loader.h"

#include "core/core_errors.h"
#include "core/database/feature.h"
#include "core/database/ifeature_repository.h"
#include "core/iparameter_repository.h"
#include "core/parameters/parameter.h"
#include "core/profile/iprofile_type_parameters.h"

namespace tarvesk::core {

FeatureLoader::FeatureLoader(
    std::shared_ptr<IFeatureRepository> features, std::shared_ptr<IParameterRepository> parameters)
    : _features(std::move(features))
    , _parameters(std::move(parameters))
{ }

void FeatureLoader::loadFeature(
    IProfileTypeParameters* parameters, DeviceInfoRecord*, const std::string& featureId) const
{
    try {
        const auto feature = _features->getFeature(featureId);
        for (const std::string& id : feature->getParameterIds()) {
            auto parameter = std::make_unique<Parameter>(_parameters->getParameterData(id));
            parameter->setIdentifier(QString::fromStdString("dev0_" + id));
            parameters->addParameter(parameter.get());
            // The schema keeps only a pointer in its map; as the parameter's
            // parent it also frees it. Features load on request threads, so the
            // parameter first joins the schema's thread.
            if (parameter->thread() != parameters->thread())
                parameter->moveToThread(parameters->thread());
            parameter.release()->setParent(parameters);
        }
    } catch (const ParameterError& e) {
        throw FeatureError(e.what());
    }
}

} // namespace tarvesk::core
