<?xml version="1.0"?>
<!-- What a host learns of {{Name}} before it loads it: the entry Inject{{Name}} in
     lib{{Name}}.so beside this file, and what the library registers. Ids must be unique among
     the libraries a host knows; change {{Id}} if another library uses it. -->
<library>
  <name>{{Name}}</name>
  <path>{{Name}}</path>
  <version>@PROJECT_VERSION@</version>
  <services><service name="{{namespace}}::{{Name}}Service" id="{{Id}}"/></services>
  <featuresets><featureset name="{{namespace}}::{{Name}}FeatureSet" id="{{Id}}"/></featuresets>
</library>
