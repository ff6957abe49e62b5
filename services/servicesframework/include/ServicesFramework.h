// The framework's umbrella header: includes every public header, so that a host or a service
// library can be written against this one include.
#ifndef SERVICESFRAMEWORK_SERVICESFRAMEWORK_H
#define SERVICESFRAMEWORK_SERVICESFRAMEWORK_H

// Utilities (namespace zam)
#include <zam/BlockingTask.h>
#include <zam/Condition.h>
#include <zam/Event.h>
#include <zam/Mutex.h>
#include <zam/PoolWorker.h>
#include <zam/Runnable.h>
#include <zam/ScopedLock.h>
#include <zam/Task.h>
#include <zam/ThreadName.h>
#include <zam/ThreadPool.h>

// Secure strings and encoders
#include <zam/Base64.h>
#include <zam/Base64DiscreetEncoder.h>
#include <zam/Base64Encoding.h>
#include <zam/Base64FamilyEncoder.h>
#include <zam/Base64urlEncoding.h>
#include <zam/ByteBlob.h>
#include <zam/Encoding.h>
#include <zam/SecureString.h>
#include <zam/SecureStringReader.h>
#include <zam/SecureStringUtils.h>

// Tasks that carry the core-utility namespace
#include <KORCoreUtils/FunctionTask.h>

// Framework (namespace ZAMUnified)
#include <ZAMUnified/AccessGuard.h>
#include <ZAMUnified/Authenticator.h>
#include <ZAMUnified/CapabilitiesException.h>
#include <ZAMUnified/CapabilitiesExceptionImpl.h>
#include <ZAMUnified/DispatcherAccessException.h>
#include <ZAMUnified/DispatcherAccessExceptionImpl.h>
#include <ZAMUnified/FeatureSet.h>
#include <ZAMUnified/FeatureSetAdapter.h>
#include <ZAMUnified/FeatureSetBase.h>
#include <ZAMUnified/FrameworkVersion.h>
#include <ZAMUnified/FunctorTask.h>
#include <ZAMUnified/GetFactory.h>
#include <ZAMUnified/IDataPersistor.h>
#include <ZAMUnified/LibraryLoader.h>
#include <ZAMUnified/LibraryRecord.h>
#include <ZAMUnified/Processing/TaskDispatcher.h>
#include <ZAMUnified/Processing/TaskQueue.h>
#include <ZAMUnified/ResourceMonitor.h>
#include <ZAMUnified/ServiceBase.h>
#include <ZAMUnified/ServiceEvent.h>
#include <ZAMUnified/ServiceFactory.h>
#include <ZAMUnified/ServiceFactoryImpl.h>
#include <ZAMUnified/ServiceFactoryWrapper.h>
#include <ZAMUnified/ServiceLibrary.h>
#include <ZAMUnified/ServicesDispatcher.h>
#include <ZAMUnified/ServicesDispatcherCallback.h>
#include <ZAMUnified/TypeMap.h>
#include <ZAMUnified/UnifiedBusinessObject.h>
#include <ZAMUnified/UnifiedBusinessObjectImpl.h>
#include <ZAMUnified/UnifiedBusinessObjectNotifiers.h>
#include <ZAMUnified/UnifiedBusinessObjectObserver.h>
#include <ZAMUnified/UnifiedException.h>
#include <ZAMUnified/UnifiedExceptionImpl.h>
#include <ZAMUnified/UnifiedFactory.h>
#include <ZAMUnified/UnifiedService.h>

// Reflection
#include <ZAMUnified/ActualParameter.h>
#include <ZAMUnified/ActualParameterFactory.h>
#include <ZAMUnified/FormalParameter.h>
#include <ZAMUnified/Image.h>
#include <ZAMUnified/ListProperty.h>
#include <ZAMUnified/MemberDescription.h>
#include <ZAMUnified/Method.h>
#include <ZAMUnified/Methods.h>
#include <ZAMUnified/MutableListProperty.h>
#include <ZAMUnified/NonListProperty.h>
#include <ZAMUnified/ParametersCollection.h>
#include <ZAMUnified/Properties.h>
#include <ZAMUnified/Property.h>
#include <ZAMUnified/PropertyNotifier.h>
#include <ZAMUnified/ReflectionCallback.h>
#include <ZAMUnified/ReflectionCallbackFactory.h>
#include <ZAMUnified/ReflectionHelpers.h>
#include <ZAMUnified/ReflectionTypeConversion.h>
#include <ZAMUnified/Reflector.h>
#include <ZAMUnified/ReflectorFactory.h>
#include <ZAMUnified/ReturnValue.h>
#include <ZAMUnified/ToFormalParameterConversions.h>
#include <ZAMUnified/UnifiedCallback.h>
#include <ZAMUnified/ValueTypes.h>

// Interpreter
#include <ZAMUnified/FactoryReports.h>
#include <ZAMUnified/Interpreter.h>
#include <ZAMUnified/InterpreterResult.h>
#include <ZAMUnified/Request.h>
#include <ZAMUnified/RequestSyntax.h>
#include <ZAMUnified/Subscription.h>
#include <ZAMUnified/TextInterpreter.h>
#include <ZAMUnified/TextJson.h>
#include <ZAMUnified/TextResult.h>

#endif  // SERVICESFRAMEWORK_SERVICESFRAMEWORK_H
