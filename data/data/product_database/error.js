// Errors of the feature scripts. A feature function throws a FeatureScriptError
// when it cannot enable its feature; enableFeature lets it reach the service,
// which reports the text with its line and column.

function FeatureScriptError(feature, message) {
    this.name = "FeatureScriptError";
    this.message = "feature '" + feature + "': " + message;
}
FeatureScriptError.prototype = Object.create(Error.prototype);
FeatureScriptError.prototype.constructor = FeatureScriptError;

function requireParameter(feature, parameter, identifier) {
    if (parameter === null || parameter === undefined)
        throw new FeatureScriptError(feature, "could not add parameter " + identifier);
    return parameter;
}
