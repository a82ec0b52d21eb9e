<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
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
</TS>
