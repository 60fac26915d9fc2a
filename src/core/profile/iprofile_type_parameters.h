#pragma once

#include <QObject>
#include <QString>

#include <vector>

namespace tarvesk::core {

class IParameter;

// The parameter schema of a profile type: which parameters a profile of that
// type may hold. Feature scripts add to it by name.
class IProfileTypeParameters : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    Q_INVOKABLE virtual tarvesk::core::IParameter* addParameterByName(const QString& param) = 0;
    virtual void addParameter(IParameter* parameter) = 0;
    virtual std::vector<IParameter*> getList() const = 0;
    Q_INVOKABLE virtual tarvesk::core::IParameter* getParameterInterface(const QString& paramIdent) = 0;
};

} // namespace tarvesk::core
