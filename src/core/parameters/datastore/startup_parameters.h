#pragma once

#include "core/parameters/bool_raw_parameter.h"
#include "core/parameters/datastore/builtin_parameter.h"
#include "core/parameters/enum_raw_parameter.h"
#include "core/parameters/integer_raw_parameter.h"

namespace tarvesk::core {

// The fields of a Presmonde driver's configuration byte 1: start-up delay
// and fade, start-up scene, DMX failure behaviour. Each is read only on
// cores recent enough to have it; writes are not gated.

class ExtraStartupDelayParameter : public IntegerRawParameter
{
    Q_OBJECT
public:
    ExtraStartupDelayParameter();
    QM_BUILTIN_CLONE(ExtraStartupDelayParameter)
    int readRawValue(QVariant& out) override;
};

class ForceStartupFadeParameter : public BoolRawParameter
{
    Q_OBJECT
public:
    ForceStartupFadeParameter();
    QM_BUILTIN_CLONE(ForceStartupFadeParameter)
    int readRawValue(QVariant& out) override;
};

class StartupBehaviourParameter : public EnumRawParameter
{
    Q_OBJECT
public:
    StartupBehaviourParameter();
    QM_BUILTIN_CLONE(StartupBehaviourParameter)
    int readRawValue(QVariant& out) override;
};

class DmxFailureBehaviourParameter : public EnumRawParameter
{
    Q_OBJECT
public:
    DmxFailureBehaviourParameter();
    QM_BUILTIN_CLONE(DmxFailureBehaviourParameter)
    int readRawValue(QVariant& out) override;
};

} // namespace tarvesk::core
