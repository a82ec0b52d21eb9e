<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>TContainerProps</name>
    <message numerus="yes">
        <source>%n Files</source>
        <translation>
            <numerusform>%n Files</numerusform>
            <numerusform>%n Files</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n Folders</source>
        <translation>
            <numerusform>%n Folders</numerusform>
            <numerusform>%n Folders</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TLumoConnectPublisher</name>
    <message numerus="yes">
        <source>%n item(s) selected</source>
        <translation>
            <numerusform>%n item selected</numerusform>
            <numerusform>%n items selected</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n thumbnail(s) to make</source>
        <translation>
            <numerusform>%n thumbnail to make</numerusform>
            <numerusform>%n thumbnails to make</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TMediaPage</name>
    <message numerus="yes">
        <source>Published %n item(s)</source>
        <translation>
            <numerusform>Published %n item</numerusform>
            <numerusform>Published %n items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Unpublished %n item(s)</source>
        <translation>
            <numerusform>Unpublished %n item</numerusform>
            <numerusform>Unpublished %n items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) could not be published</source>
        <translation>
            <numerusform>%n item could not be published</numerusform>
            <numerusform>%n items could not be published</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n item(s) could not be unpublished</source>
        <translation>
            <numerusform>%n item could not be unpublished</numerusform>
            <numerusform>%n items could not be unpublished</numerusform>
        </translation>
    </message>
</context>
</TS>
